#include <gtest/gtest.h>

#include <array>
#include <stdexcept>

#include "SecurityManager/SecurityManager.h"

namespace tomelet {
namespace {

constexpr DWORD kUntouched = 0xDEADBEEF;

using enum TAllowDisAllowPolicyOption;

struct ActionCase {
  TUrlPolicyOptions Options;
  DWORD Action;
  HRESULT Result;
  DWORD Policy;
};

class ProcessUrlActionTable : public ::testing::TestWithParam<ActionCase> {};

TEST_P(ProcessUrlActionTable, WritesThePolicyOfTheFirstMatchingRow) {
  TSecurityManager manager;
  manager.UrlPolicy = GetParam().Options;
  DWORD policy = kUntouched;
  EXPECT_EQ(manager.ProcessUrlAction(u"tome://inpack/a.htm", GetParam().Action,
                                     reinterpret_cast<std::byte*>(&policy), 4, nullptr, 0, 0, 0),
            GetParam().Result);
  EXPECT_EQ(policy, GetParam().Policy);
}

constexpr TUrlPolicyOptions kViewer{};
constexpr TUrlPolicyOptions kClosed{Disallow, Disallow, TJavaPolicyOption::Custom, Disallow,
                                    Disallow};
constexpr TUrlPolicyOptions kNoCrossDomain{Allow, Disallow, TJavaPolicyOption::High, Allow, Allow};
constexpr TUrlPolicyOptions kNoScripts{Allow, Allow, TJavaPolicyOption::Low, Allow, Disallow};

INSTANTIATE_TEST_SUITE_P(
    Rows, ProcessUrlActionTable,
    ::testing::Values(ActionCase{kViewer, 0x1200, S_OK, URLPOLICY_ALLOW},
                      ActionCase{kClosed, 0x13FF, S_OK, URLPOLICY_DISALLOW},
                      ActionCase{kViewer, 0x1C00, S_OK, URLPOLICY_JAVA_PROHIBIT},
                      ActionCase{kClosed, 0x1CFF, S_OK, URLPOLICY_JAVA_CUSTOM},
                      ActionCase{kNoCrossDomain, 0x1605, S_OK, URLPOLICY_JAVA_HIGH},
                      ActionCase{kNoScripts, 0x1C10, S_OK, URLPOLICY_JAVA_LOW},
                      ActionCase{kClosed, 0x1602, S_OK, URLPOLICY_DISALLOW},
                      ActionCase{kViewer, 0x1603, S_OK, URLPOLICY_ALLOW},
                      ActionCase{kNoCrossDomain, 0x1406, S_OK, URLPOLICY_DISALLOW},
                      ActionCase{kNoScripts, 0x1406, S_OK, URLPOLICY_ALLOW},
                      ActionCase{kNoScripts, 0x15FF, S_OK, URLPOLICY_DISALLOW},
                      ActionCase{kClosed, 0x1601, INET_E_DEFAULT_ACTION, kUntouched},
                      ActionCase{kClosed, 0x1A02, INET_E_DEFAULT_ACTION, kUntouched},
                      ActionCase{kClosed, 0x11FF, INET_E_DEFAULT_ACTION, kUntouched}));

TEST(ProcessUrlActionBuffer, OnlyAFourByteBufferIsWrittenAndNeverPastIt) {
  TSecurityManager manager;
  std::array<unsigned char, 8> buffer;
  buffer.fill(0xEE);
  auto* bytes = reinterpret_cast<std::byte*>(buffer.data());
  EXPECT_EQ(manager.ProcessUrlAction(nullptr, URLACTION_SCRIPT_RUN, bytes, 2, nullptr, 0, 0, 0),
            S_FALSE);
  EXPECT_EQ(buffer[0], 0xEE);
  EXPECT_EQ(manager.ProcessUrlAction(nullptr, URLACTION_SCRIPT_RUN, bytes, 8, nullptr, 0, 0, 0),
            S_OK);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[4], 0xEE);
  EXPECT_EQ(manager.ProcessUrlAction(nullptr, URLACTION_SCRIPT_RUN, nullptr, 4, nullptr, 0, 0, 0),
            E_POINTER);
}

TEST(SecurityManagerIdentity, TwoInterfacesAndReferencesThatDoNotCount) {
  TSecurityManager manager;
  void* out = &manager;
  EXPECT_EQ(manager.QueryInterface(IID_IEnumString, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(manager.QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(out, static_cast<IUnknown*>(&manager));
  ComPtr<IInternetSecurityManager> held;
  ASSERT_EQ(manager.QueryInterface(IID_IInternetSecurityManager, held.PutVoid()), S_OK);
  EXPECT_EQ(manager.AddRef(), static_cast<ULONG>(-1));
  EXPECT_EQ(manager.Release(), static_cast<ULONG>(-1));
}

TEST(SecurityManagerDefaults, OtherQuestionsGoToTheZonesAndOutInterfacesAreCleared) {
  TSecurityManager manager;
  DWORD zone = 7;
  EXPECT_EQ(manager.MapUrlToZone(u"http://example.org/", &zone, 0), INET_E_DEFAULT_ACTION);
  EXPECT_EQ(zone, 7u);
  auto* site = reinterpret_cast<IInternetSecurityMgrSite*>(&manager);
  EXPECT_EQ(manager.GetSecuritySite(&site), INET_E_DEFAULT_ACTION);
  EXPECT_EQ(site, nullptr);
  auto* patterns = reinterpret_cast<IEnumString*>(&manager);
  EXPECT_EQ(manager.GetZoneMappings(1, &patterns, 0), INET_E_DEFAULT_ACTION);
  EXPECT_EQ(patterns, nullptr);
  EXPECT_EQ(manager.GetZoneMappings(1, nullptr, 0), INET_E_DEFAULT_ACTION);
  EXPECT_EQ(manager.SetZoneMapping(3, u"*.example.org", 0), INET_E_DEFAULT_ACTION);
}

TEST(SecurityManagerEvents, TheyReplaceTheDefaultsAndTheirFailuresStayInside) {
  TSecurityManager manager;
  IInternetSecurityMgrSite* seen = nullptr;
  manager.OnGetSecuritySite = [&](IInternetSecurityMgrSite** out) {
    seen = *out;
    return S_OK;
  };
  auto* site = reinterpret_cast<IInternetSecurityMgrSite*>(&manager);
  EXPECT_EQ(manager.GetSecuritySite(&site), S_OK);
  EXPECT_EQ(seen, nullptr) << "cleared before the event runs";
  manager.OnProcessUrlAction = [](const char16_t*, DWORD action, std::byte*, DWORD, std::byte*,
                                  DWORD, DWORD flags, DWORD) -> HRESULT {
    if (flags == 1)
      throw std::runtime_error("handler failed");
    return action == URLACTION_SCRIPT_RUN ? S_FALSE : S_OK;
  };
  EXPECT_EQ(manager.ProcessUrlAction(nullptr, URLACTION_SCRIPT_RUN, nullptr, 0, nullptr, 0, 0, 0),
            S_FALSE);
  EXPECT_EQ(manager.ProcessUrlAction(nullptr, URLACTION_SCRIPT_RUN, nullptr, 0, nullptr, 0, 1, 0),
            E_FAIL);
}

}  // namespace
}  // namespace tomelet
