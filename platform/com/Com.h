// The in-process object model: result codes, GUIDs, IUnknown, counted references and class
// factories, with the names and codes the rest of the program and its tests expect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tomelet {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;

constexpr HRESULT MakeHResult(std::uint32_t bits) {
  return static_cast<HRESULT>(bits);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeHResult(0x80004003);
inline constexpr HRESULT E_FAIL = MakeHResult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHResult(0x80020003);
inline constexpr HRESULT OLECMDERR_E_NOTSUPPORTED = MakeHResult(0x80040100);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154);
inline constexpr HRESULT CO_E_OBJNOTREG = MakeHResult(0x800401FB);
inline constexpr HRESULT INET_E_RESOURCE_NOT_FOUND = MakeHResult(0x800C0005);
inline constexpr HRESULT INET_E_DATA_NOT_AVAILABLE = MakeHResult(0x800C0007);
inline constexpr HRESULT INET_E_DEFAULT_ACTION = MakeHResult(0x800C0011);
inline constexpr HRESULT INET_E_USE_DEFAULT_PROTOCOLHANDLER = INET_E_DEFAULT_ACTION;

constexpr bool SUCCEEDED(HRESULT hr) {
  return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
  return hr < 0;
}

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::uint8_t Data4[8] = {};

  friend constexpr bool operator==(const GUID&, const GUID&) = default;
};

using IID = GUID;
using CLSID = GUID;
using REFIID = const GUID&;
using REFCLSID = const GUID&;

inline constexpr GUID GUID_NULL{};
inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ISupportErrorInfo{
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

// Every interface method answers with a result code and never lets an exception out; objects
// end their own lives when their count reaches zero, so nobody deletes through an interface.
class IUnknown {
 public:
  static constexpr const GUID& kIID = IID_IUnknown;
  virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

class IClassFactory : public IUnknown {
 public:
  static constexpr const GUID& kIID = IID_IClassFactory;
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) = 0;
  virtual HRESULT LockServer(bool lock) = 0;
};

class ISupportErrorInfo : public IUnknown {
 public:
  static constexpr const GUID& kIID = IID_ISupportErrorInfo;
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID iid) = 0;
};

// A counted reference: AddRef on copy, Release on destruction.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  ComPtr(T* raw) : ptr_(raw) { AddRefHeld(); }
  ComPtr(const ComPtr& other) : ptr_(other.ptr_) { AddRefHeld(); }
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }

  T* Get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.ptr_ == b.ptr_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.ptr_ == nullptr; }

  // Takes over a reference the caller already owns.
  void Attach(T* raw) {
    Reset();
    ptr_ = raw;
  }
  // Hands the held reference to the caller, who must release it.
  [[nodiscard]] T* Detach() { return std::exchange(ptr_, nullptr); }
  void Reset() {
    if (T* old = std::exchange(ptr_, nullptr))
      old->Release();
  }

  // For out parameters typed T**: the held reference is released first.
  T** ReleaseAndGetAddressOf() {
    Reset();
    return &ptr_;
  }

  // For out parameters typed void** (QueryInterface, CreateInstance): the pointer written there
  // is taken over when the full expression ends.
  class VoidOut {
   public:
    explicit VoidOut(ComPtr& owner) : owner_(owner) {}
    VoidOut(const VoidOut&) = delete;
    VoidOut& operator=(const VoidOut&) = delete;
    ~VoidOut() { owner_.Attach(static_cast<T*>(raw_)); }
    operator void**() { return &raw_; }

   private:
    ComPtr& owner_;
    void* raw_ = nullptr;
  };
  VoidOut PutVoid() {
    Reset();
    return VoidOut(*this);
  }

  template <class U>
  HRESULT As(ComPtr<U>& out) const {
    if (!ptr_)
      return E_POINTER;
    return ptr_->QueryInterface(U::kIID, out.PutVoid());
  }

 private:
  void AddRefHeld() {
    if (ptr_)
      ptr_->AddRef();
  }

  T* ptr_ = nullptr;
};

}  // namespace tomelet

template <>
struct std::hash<tomelet::GUID> {
  std::size_t operator()(const tomelet::GUID& g) const noexcept;
};
