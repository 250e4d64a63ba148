// Reference-counted objects that may be aggregated into an outer object, and their creation.
#pragma once

#include <atomic>
#include <utility>

#include "platform/com/Com.h"

namespace tomelet {

// Holds the object's own non-delegating IUnknown and the controlling unknown its interfaces
// delegate to: the outer object when aggregated, otherwise that own IUnknown.
class TAggregatableObject {
 public:
  TAggregatableObject(const TAggregatableObject&) = delete;
  TAggregatableObject& operator=(const TAggregatableObject&) = delete;

  // Starts with the one reference its creator owns.
  IUnknown* InnerUnknown() { return &inner_; }
  IUnknown* ControllingUnknown() const { return controlling_; }

 protected:
  explicit TAggregatableObject(IUnknown* outer)
      : inner_(*this), controlling_(outer ? outer : &inner_) {}
  virtual ~TAggregatableObject() = default;

  // The object's interface for iid (IUnknown aside), or null.
  virtual void* FindInterface(REFIID iid) = 0;

 private:
  class Inner final : public IUnknown {
   public:
    explicit Inner(TAggregatableObject& owner) : owner_(owner) {}
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return ++refCount_; }
    ULONG Release() override;

   private:
    TAggregatableObject& owner_;
    std::atomic<ULONG> refCount_{1};
  };

  Inner inner_;
  IUnknown* controlling_;
};

// Implements IUnknown for every interface listed by delegating to the controlling unknown, and
// answers QueryInterface for exactly those interfaces (by their kIID).
template <class... Interfaces>
class TComObject : public TAggregatableObject, public Interfaces... {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
    return ControllingUnknown()->QueryInterface(iid, out);
  }
  ULONG AddRef() override { return ControllingUnknown()->AddRef(); }
  ULONG Release() override { return ControllingUnknown()->Release(); }

 protected:
  explicit TComObject(IUnknown* outer) : TAggregatableObject(outer) {}

  void* FindInterface(REFIID iid) override {
    void* found = nullptr;
    (void)((iid == Interfaces::kIID && (found = static_cast<Interfaces*>(this)) != nullptr) || ...);
    return found;
  }
};

// The class-factory contract: out cleared first, aggregation only through IUnknown, the new
// object destroyed again when it does not support iid, and no exception escaping.
template <class T, class... Args>
HRESULT CreateComInstance(IUnknown* outer, REFIID iid, void** out, Args&&... args) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  if (outer && iid != IID_IUnknown)
    return CLASS_E_NOAGGREGATION;
  T* object = nullptr;
  try {
    object = new T(outer, std::forward<Args>(args)...);
  } catch (...) {
    return E_UNEXPECTED;
  }
  IUnknown* inner = object->InnerUnknown();
  HRESULT hr = inner->QueryInterface(iid, out);
  inner->Release();
  return hr;
}

// A standalone (not aggregated) object held by its concrete type; constructor failures throw.
template <class T, class... Args>
ComPtr<T> MakeComObject(Args&&... args) {
  ComPtr<T> object;
  object.Attach(new T(nullptr, std::forward<Args>(args)...));
  return object;
}

}  // namespace tomelet
