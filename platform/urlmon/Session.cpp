#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/com/ComObject.h"
#include "platform/urlmon/UrlMon.h"

namespace tomelet {
namespace {

std::u16string LowerAscii(std::u16string_view text) {
  std::u16string lowered(text);
  for (char16_t& c : lowered) {
    if (c >= u'A' && c <= u'Z')
      c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return lowered;
}

struct NameSpace {
  std::u16string scheme;
  ComPtr<IClassFactory> factory;
  CLSID clsid;
};

class TInternetSession final : public TComObject<IInternetSession> {
 public:
  explicit TInternetSession(IUnknown* outer) : TComObject(outer) {}

  // Patterns are accepted and not consulted: every URL of the scheme goes to the factory.
  HRESULT RegisterNameSpace(IClassFactory* factory, REFCLSID clsid, LPCWSTR scheme, ULONG,
                            const LPCWSTR*, DWORD) override {
    if (!factory || !scheme || *scheme == 0)
      return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    nameSpaces_.push_back({LowerAscii(scheme), ComPtr<IClassFactory>(factory), clsid});
    return S_OK;
  }

  HRESULT UnregisterNameSpace(IClassFactory* factory, LPCWSTR scheme) override {
    if (!factory || !scheme)
      return E_INVALIDARG;
    ComPtr<IClassFactory> released;
    std::u16string lowered = LowerAscii(scheme);
    std::lock_guard lock(mutex_);
    auto found = FindNewest(
        [&](const NameSpace& n) { return n.factory.Get() == factory && n.scheme == lowered; });
    if (found == nameSpaces_.end())
      return S_FALSE;
    released = std::move(found->factory);
    nameSpaces_.erase(found);
    return S_OK;
  }

  HRESULT FindNameSpace(std::u16string_view scheme, IClassFactory** factory) override {
    if (!factory)
      return E_POINTER;
    *factory = nullptr;
    std::u16string lowered = LowerAscii(scheme);
    std::lock_guard lock(mutex_);
    auto found = FindNewest([&](const NameSpace& n) { return n.scheme == lowered; });
    if (found == nameSpaces_.end())
      return REGDB_E_CLASSNOTREG;
    *factory = ComPtr<IClassFactory>(found->factory).Detach();
    return S_OK;
  }

 private:
  template <class Predicate>
  std::vector<NameSpace>::iterator FindNewest(Predicate matches) {
    auto found = std::find_if(nameSpaces_.rbegin(), nameSpaces_.rend(), matches);
    return found == nameSpaces_.rend() ? nameSpaces_.end() : std::prev(found.base());
  }

  std::mutex mutex_;
  std::vector<NameSpace> nameSpaces_;
};

struct UserAgentOption {
  std::mutex mutex;
  std::string text;
};

UserAgentOption& UserAgent() {
  static UserAgentOption option;
  return option;
}

}  // namespace

// The session lives for the whole process and is never freed: registrations may still hold
// factories whose owners are gone by the time static objects are destroyed.
HRESULT CoInternetGetSession(DWORD, IInternetSession** session, DWORD) {
  if (!session)
    return E_POINTER;
  static TInternetSession* const processSession = MakeComObject<TInternetSession>().Detach();
  processSession->AddRef();
  *session = processSession;
  return S_OK;
}

HRESULT CreateInternetSession(IInternetSession** session) {
  if (!session)
    return E_POINTER;
  *session = MakeComObject<TInternetSession>().Detach();
  return S_OK;
}

HRESULT UrlMkSetSessionOption(DWORD option, const void* buffer, DWORD length, DWORD) {
  if (option != URLMON_OPTION_USERAGENT)
    return E_INVALIDARG;
  if (!buffer && length > 0)
    return E_INVALIDARG;
  auto& userAgent = UserAgent();
  std::lock_guard lock(userAgent.mutex);
  if (length == 0) {
    userAgent.text.clear();
  } else {
    userAgent.text.assign(static_cast<const char*>(buffer), length);
  }
  return S_OK;
}

std::string SessionUserAgent() {
  auto& userAgent = UserAgent();
  std::lock_guard lock(userAgent.mutex);
  return userAgent.text;
}

}  // namespace tomelet
