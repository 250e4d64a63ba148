#include "SecurityManager/SecurityManager.h"

#include <cstring>
#include <exception>
#include <utility>

namespace tomelet {

namespace {

// The non-owning reference count, as the browser sees it.
constexpr ULONG kUncounted = static_cast<ULONG>(-1);

DWORD AllowPolicy(TAllowDisAllowPolicyOption option) {
  return option == TAllowDisAllowPolicyOption::Allow ? URLPOLICY_ALLOW : URLPOLICY_DISALLOW;
}

DWORD JavaPolicy(TJavaPolicyOption option) {
  switch (option) {
    case TJavaPolicyOption::Prohibited:
      return URLPOLICY_JAVA_PROHIBIT;
    case TJavaPolicyOption::High:
      return URLPOLICY_JAVA_HIGH;
    case TJavaPolicyOption::Medium:
      return URLPOLICY_JAVA_MEDIUM;
    case TJavaPolicyOption::Low:
      return URLPOLICY_JAVA_LOW;
    case TJavaPolicyOption::Custom:
      break;
  }
  return URLPOLICY_JAVA_CUSTOM;
}

bool InRange(DWORD action, DWORD first, DWORD last) {
  return action >= first && action <= last;
}

// Events are user code: whatever they throw stays on this side of the interface.
template <class Event, class... Args>
HRESULT Raise(const Event& event, Args&&... args) noexcept {
  try {
    return event(std::forward<Args>(args)...);
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace

// Cross-domain data lies inside the script range and is therefore tested before it.
std::optional<DWORD> BuiltInUrlPolicy(const TUrlPolicyOptions& options, DWORD action) {
  if (InRange(action, URLACTION_ACTIVEX_MIN, URLACTION_ACTIVEX_MAX))
    return AllowPolicy(options.ActiveX);
  if (InRange(action, URLACTION_JAVA_MIN, URLACTION_JAVA_MAX) || action == URLACTION_HTML_JAVA_RUN)
    return JavaPolicy(options.JavaPermissions);
  if (action == URLACTION_HTML_SUBMIT_FORMS_FROM || action == URLACTION_HTML_SUBMIT_FORMS_TO)
    return AllowPolicy(options.SubmitForms);
  if (action == URLACTION_CROSS_DOMAIN_DATA)
    return AllowPolicy(options.CrossDomainData);
  if (InRange(action, URLACTION_SCRIPT_MIN, URLACTION_SCRIPT_MAX))
    return AllowPolicy(options.Scripts);
  return std::nullopt;
}

HRESULT TSecurityManager::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr)
    return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IInternetSecurityManager) {
    *out = static_cast<IInternetSecurityManager*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG TSecurityManager::AddRef() {
  return kUncounted;
}

ULONG TSecurityManager::Release() {
  return kUncounted;
}

HRESULT TSecurityManager::SetSecuritySite(IInternetSecurityMgrSite* site) {
  if (OnSetSecuritySite)
    return Raise(OnSetSecuritySite, site);
  return INET_E_DEFAULT_ACTION;
}

HRESULT TSecurityManager::GetSecuritySite(IInternetSecurityMgrSite** site) {
  if (site != nullptr)
    *site = nullptr;
  if (OnGetSecuritySite)
    return Raise(OnGetSecuritySite, site);
  return INET_E_DEFAULT_ACTION;
}

HRESULT TSecurityManager::MapUrlToZone(const char16_t* url, DWORD* zone, DWORD flags) {
  if (OnMapUrlToZone)
    return Raise(OnMapUrlToZone, url, zone, flags);
  return INET_E_DEFAULT_ACTION;
}

HRESULT TSecurityManager::GetSecurityId(const char16_t* url, std::byte* securityId,
                                        DWORD* securityIdSize, std::uintptr_t reserved) {
  if (OnGetSecurityID)
    return Raise(OnGetSecurityID, url, securityId, securityIdSize, reserved);
  return INET_E_DEFAULT_ACTION;
}

HRESULT TSecurityManager::ProcessUrlAction(const char16_t* url, DWORD action, std::byte* policy,
                                           DWORD policySize, std::byte* context, DWORD contextSize,
                                           DWORD flags, DWORD reserved) {
  if (OnProcessUrlAction)
    return Raise(OnProcessUrlAction, url, action, policy, policySize, context, contextSize, flags,
                 reserved);
  const std::optional<DWORD> answer = BuiltInUrlPolicy(UrlPolicy, action);
  if (!answer)
    return INET_E_DEFAULT_ACTION;
  if (policySize < sizeof(DWORD))
    return S_FALSE;
  if (policy == nullptr)
    return E_POINTER;
  std::memcpy(policy, &*answer, sizeof(DWORD));
  return S_OK;
}

HRESULT TSecurityManager::QueryCustomPolicy(const char16_t* url, const GUID& key,
                                            std::byte** policy, DWORD* policySize,
                                            std::byte* context, DWORD contextSize, DWORD reserved) {
  if (OnQueryCustomPolicy)
    return Raise(OnQueryCustomPolicy, url, key, policy, policySize, context, contextSize, reserved);
  return INET_E_DEFAULT_ACTION;
}

HRESULT TSecurityManager::SetZoneMapping(DWORD zone, const char16_t* pattern, DWORD flags) {
  if (OnSetZoneMapping)
    return Raise(OnSetZoneMapping, zone, pattern, flags);
  return INET_E_DEFAULT_ACTION;
}

HRESULT TSecurityManager::GetZoneMappings(DWORD zone, IEnumString** enumString, DWORD flags) {
  if (enumString != nullptr)
    *enumString = nullptr;
  if (OnGetZoneMappings)
    return Raise(OnGetZoneMappings, zone, enumString, flags);
  return INET_E_DEFAULT_ACTION;
}

}  // namespace tomelet
