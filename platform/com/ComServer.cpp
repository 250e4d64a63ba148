#include "platform/com/ComServer.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace tomelet {
namespace {

std::atomic<long> liveObjects{0};

struct FactoryList {
  std::mutex mutex;
  std::vector<TComObjectFactory*> factories;
};

FactoryList& Factories() {
  static FactoryList list;
  return list;
}

}  // namespace

long LiveObjectCount() {
  return liveObjects.load();
}
void IncrementLiveObjects() {
  ++liveObjects;
}
void DecrementLiveObjects() {
  --liveObjects;
}
bool TerminationNeedsConfirmation() {
  return LiveObjectCount() > 0;
}

TComObjectFactory::TComObjectFactory(const CLSID& clsid) : clsid_(clsid) {
  auto& list = Factories();
  std::lock_guard lock(list.mutex);
  list.factories.push_back(this);
}

TComObjectFactory::~TComObjectFactory() {
  if (cookie_ != 0)
    CoRevokeClassObject(cookie_);
  auto& list = Factories();
  std::lock_guard lock(list.mutex);
  std::erase(list.factories, this);
}

HRESULT TComObjectFactory::QueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IClassFactory) {
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG TComObjectFactory::AddRef() {
  return ++refCount_;
}

ULONG TComObjectFactory::Release() {
  return --refCount_;
}

// A server lock counts as a live object; an unlock that finds no lock lowers nothing, so an
// unbalanced client cannot hide the handler objects that are still alive.
HRESULT TComObjectFactory::LockServer(bool lock) {
  HRESULT hr = CoLockObjectExternal(this, lock, true);
  if (lock) {
    IncrementLiveObjects();
  } else if (hr == S_OK) {
    DecrementLiveObjects();
  }
  return hr;
}

HRESULT TComObjectFactory::RegisterClassObject(DWORD flags) {
  if (cookie_ != 0)
    return S_FALSE;
  return CoRegisterClassObject(clsid_, this, CLSCTX_LOCAL_SERVER, flags, &cookie_);
}

HRESULT RegisterClassObjects() {
  std::vector<TComObjectFactory*> factories;
  {
    auto& list = Factories();
    std::lock_guard lock(list.mutex);
    factories = list.factories;
  }
  for (auto* factory : factories) {
    HRESULT hr = factory->RegisterClassObject(REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED);
    if (FAILED(hr))
      return hr;
  }
  return CoResumeClassObjects();
}

}  // namespace tomelet
