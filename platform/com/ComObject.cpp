#include "platform/com/ComObject.h"

namespace tomelet {

HRESULT TAggregatableObject::Inner::QueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  if (iid == IID_IUnknown) {
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  *out = owner_.FindInterface(iid);
  if (!*out)
    return E_NOINTERFACE;
  owner_.controlling_->AddRef();
  return S_OK;
}

ULONG TAggregatableObject::Inner::Release() {
  ULONG remaining = --refCount_;
  if (remaining == 0)
    delete &owner_;
  return remaining;
}

}  // namespace tomelet
