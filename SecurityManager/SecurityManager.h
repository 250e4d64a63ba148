// The viewer's URL security policy: one answer for every page, chosen by five settings, and the
// browser's own zones for every question those settings do not cover.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/com/Com.h"

namespace tomelet {

inline constexpr IID IID_IInternetSecurityManager{
    0x79EAC9EE, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IInternetSecurityMgrSite{
    0x79EAC9ED, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IEnumString{0x00000101, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Action codes and the policies written for them.
inline constexpr DWORD URLACTION_ACTIVEX_MIN = 0x1200;
inline constexpr DWORD URLACTION_ACTIVEX_RUN = 0x1200;
inline constexpr DWORD URLACTION_ACTIVEX_MAX = 0x13FF;
inline constexpr DWORD URLACTION_SCRIPT_MIN = 0x1400;
inline constexpr DWORD URLACTION_SCRIPT_RUN = 0x1400;
inline constexpr DWORD URLACTION_CROSS_DOMAIN_DATA = 0x1406;
inline constexpr DWORD URLACTION_SCRIPT_MAX = 0x15FF;
inline constexpr DWORD URLACTION_HTML_SUBMIT_FORMS = 0x1601;
inline constexpr DWORD URLACTION_HTML_SUBMIT_FORMS_FROM = 0x1602;
inline constexpr DWORD URLACTION_HTML_SUBMIT_FORMS_TO = 0x1603;
inline constexpr DWORD URLACTION_HTML_JAVA_RUN = 0x1605;
inline constexpr DWORD URLACTION_JAVA_MIN = 0x1C00;
inline constexpr DWORD URLACTION_JAVA_MAX = 0x1CFF;

inline constexpr DWORD URLPOLICY_ALLOW = 0;
inline constexpr DWORD URLPOLICY_DISALLOW = 3;
inline constexpr DWORD URLPOLICY_JAVA_PROHIBIT = 0x00000000;
inline constexpr DWORD URLPOLICY_JAVA_HIGH = 0x00010000;
inline constexpr DWORD URLPOLICY_JAVA_MEDIUM = 0x00020000;
inline constexpr DWORD URLPOLICY_JAVA_LOW = 0x00030000;
inline constexpr DWORD URLPOLICY_JAVA_CUSTOM = 0x00800000;

// The security manager's site and the zone-pattern enumerator are only passed through.
class IInternetSecurityMgrSite : public IUnknown {
 public:
  static constexpr const GUID& kIID = IID_IInternetSecurityMgrSite;
};

class IEnumString : public IUnknown {
 public:
  static constexpr const GUID& kIID = IID_IEnumString;
};

// Wide texts are UTF-16 and zero-terminated, as the browser passes them.
class IInternetSecurityManager : public IUnknown {
 public:
  static constexpr const GUID& kIID = IID_IInternetSecurityManager;
  virtual HRESULT SetSecuritySite(IInternetSecurityMgrSite* site) = 0;
  virtual HRESULT GetSecuritySite(IInternetSecurityMgrSite** site) = 0;
  virtual HRESULT MapUrlToZone(const char16_t* url, DWORD* zone, DWORD flags) = 0;
  virtual HRESULT GetSecurityId(const char16_t* url, std::byte* securityId, DWORD* securityIdSize,
                                std::uintptr_t reserved) = 0;
  virtual HRESULT ProcessUrlAction(const char16_t* url, DWORD action, std::byte* policy,
                                   DWORD policySize, std::byte* context, DWORD contextSize,
                                   DWORD flags, DWORD reserved) = 0;
  virtual HRESULT QueryCustomPolicy(const char16_t* url, const GUID& key, std::byte** policy,
                                    DWORD* policySize, std::byte* context, DWORD contextSize,
                                    DWORD reserved) = 0;
  virtual HRESULT SetZoneMapping(DWORD zone, const char16_t* pattern, DWORD flags) = 0;
  virtual HRESULT GetZoneMappings(DWORD zone, IEnumString** enumString, DWORD flags) = 0;
};

enum class TAllowDisAllowPolicyOption : std::uint8_t { Allow = 0, Disallow = 1 };
enum class TJavaPolicyOption : std::uint8_t {
  Prohibited = 0,
  High = 1,
  Medium = 2,
  Low = 3,
  Custom = 4,
};

// A new object allows everything and prohibits Java, which is also the viewer's choice.
struct TUrlPolicyOptions {
  TAllowDisAllowPolicyOption ActiveX = TAllowDisAllowPolicyOption::Allow;
  TAllowDisAllowPolicyOption CrossDomainData = TAllowDisAllowPolicyOption::Allow;
  TJavaPolicyOption JavaPermissions = TJavaPolicyOption::Prohibited;
  TAllowDisAllowPolicyOption SubmitForms = TAllowDisAllowPolicyOption::Allow;
  TAllowDisAllowPolicyOption Scripts = TAllowDisAllowPolicyOption::Allow;

  bool operator==(const TUrlPolicyOptions&) const = default;
};

using TSetSecuritySiteEvent = std::function<HRESULT(IInternetSecurityMgrSite* site)>;
using TGetSecuritySiteEvent = std::function<HRESULT(IInternetSecurityMgrSite** site)>;
using TMapUrlToZoneEvent = std::function<HRESULT(const char16_t* url, DWORD* zone, DWORD flags)>;
using TGetSecurityIdEvent = std::function<HRESULT(const char16_t* url, std::byte* securityId,
                                                  DWORD* securityIdSize, std::uintptr_t reserved)>;
using TProcessUrlActionEvent =
    std::function<HRESULT(const char16_t* url, DWORD action, std::byte* policy, DWORD policySize,
                          std::byte* context, DWORD contextSize, DWORD flags, DWORD reserved)>;
using TQueryCustomPolicyEvent = std::function<HRESULT(
    const char16_t* url, const GUID& key, std::byte** policy, DWORD* policySize, std::byte* context,
    DWORD contextSize, DWORD reserved)>;
using TSetZoneMappingEvent =
    std::function<HRESULT(DWORD zone, const char16_t* pattern, DWORD flags)>;
using TGetZoneMappingsEvent =
    std::function<HRESULT(DWORD zone, IEnumString** enumString, DWORD flags)>;

// Owned by its window: the browser's references neither keep it alive nor end its life, so
// AddRef and Release count nothing. Each method hands its arguments to its event when one is
// assigned; an event that throws is answered with E_FAIL.
class TSecurityManager final : public IInternetSecurityManager {
 public:
  TSecurityManager() = default;
  TSecurityManager(const TSecurityManager&) = delete;
  TSecurityManager& operator=(const TSecurityManager&) = delete;
  ~TSecurityManager() override = default;

  HRESULT QueryInterface(REFIID iid, void** out) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT SetSecuritySite(IInternetSecurityMgrSite* site) override;
  HRESULT GetSecuritySite(IInternetSecurityMgrSite** site) override;
  HRESULT MapUrlToZone(const char16_t* url, DWORD* zone, DWORD flags) override;
  HRESULT GetSecurityId(const char16_t* url, std::byte* securityId, DWORD* securityIdSize,
                        std::uintptr_t reserved) override;
  HRESULT ProcessUrlAction(const char16_t* url, DWORD action, std::byte* policy, DWORD policySize,
                           std::byte* context, DWORD contextSize, DWORD flags,
                           DWORD reserved) override;
  HRESULT QueryCustomPolicy(const char16_t* url, const GUID& key, std::byte** policy,
                            DWORD* policySize, std::byte* context, DWORD contextSize,
                            DWORD reserved) override;
  HRESULT SetZoneMapping(DWORD zone, const char16_t* pattern, DWORD flags) override;
  HRESULT GetZoneMappings(DWORD zone, IEnumString** enumString, DWORD flags) override;

  TSetSecuritySiteEvent OnSetSecuritySite;
  TGetSecuritySiteEvent OnGetSecuritySite;
  TMapUrlToZoneEvent OnMapUrlToZone;
  TGetSecurityIdEvent OnGetSecurityID;
  TProcessUrlActionEvent OnProcessUrlAction;
  TQueryCustomPolicyEvent OnQueryCustomPolicy;
  TSetZoneMappingEvent OnSetZoneMapping;
  TGetZoneMappingsEvent OnGetZoneMappings;
  TUrlPolicyOptions UrlPolicy;
};

// The policy the built-in answer writes for an action, or nothing when the browser's zones decide.
std::optional<DWORD> BuiltInUrlPolicy(const TUrlPolicyOptions& options, DWORD action);

}  // namespace tomelet
