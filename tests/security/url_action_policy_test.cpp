#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <stdexcept>

#include "SecurityManager/SecurityManager.h"

namespace tomelet {
namespace {

constexpr DWORD kUntouched = 0xDEADBEEF;

struct PolicyAnswer {
  HRESULT Result;
  DWORD Policy;
};

PolicyAnswer Ask(TSecurityManager& manager, DWORD action, DWORD size = sizeof(DWORD)) {
  DWORD policy = kUntouched;
  const HRESULT result =
      manager.ProcessUrlAction(u"tome://inpack/index.htm", action,
                               reinterpret_cast<std::byte*>(&policy), size, nullptr, 0, 0, 0);
  return {result, policy};
}

struct ActionCase {
  const char* Name;
  TUrlPolicyOptions Options;
  DWORD Action;
  HRESULT Result;
  DWORD Policy;
};

std::ostream& operator<<(std::ostream& out, const ActionCase& c) {
  return out << c.Name;
}

using enum TAllowDisAllowPolicyOption;

constexpr TUrlPolicyOptions kViewer{};
constexpr TUrlPolicyOptions kAllDisallowed{Disallow, Disallow, TJavaPolicyOption::Custom, Disallow,
                                           Disallow};
constexpr TUrlPolicyOptions kCrossDomainOnlyDisallowed{Allow, Disallow,
                                                       TJavaPolicyOption::Prohibited, Allow, Allow};
constexpr TUrlPolicyOptions kScriptsOnlyDisallowed{Allow, Allow, TJavaPolicyOption::Prohibited,
                                                   Allow, Disallow};

class ProcessUrlActionTable : public ::testing::TestWithParam<ActionCase> {};

TEST_P(ProcessUrlActionTable, WritesThePolicyOfTheFirstMatchingRow) {
  const ActionCase& c = GetParam();
  TSecurityManager manager;
  manager.UrlPolicy = c.Options;
  const PolicyAnswer answer = Ask(manager, c.Action);
  EXPECT_EQ(answer.Result, c.Result);
  EXPECT_EQ(answer.Policy, c.Policy);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ProcessUrlActionTable,
    ::testing::Values(
        ActionCase{"ActiveXRunAllowed", kViewer, 0x1200, S_OK, URLPOLICY_ALLOW},
        ActionCase{"ActiveXMaxDisallowed", kAllDisallowed, 0x13FF, S_OK, URLPOLICY_DISALLOW},
        ActionCase{"JavaMinProhibited", kViewer, 0x1C00, S_OK, URLPOLICY_JAVA_PROHIBIT},
        ActionCase{"JavaMaxCustom", kAllDisallowed, 0x1CFF, S_OK, URLPOLICY_JAVA_CUSTOM},
        ActionCase{"HtmlJavaRunCustom", kAllDisallowed, 0x1605, S_OK, URLPOLICY_JAVA_CUSTOM},
        ActionCase{"SubmitFromDisallowed", kAllDisallowed, 0x1602, S_OK, URLPOLICY_DISALLOW},
        ActionCase{"SubmitToAllowed", kViewer, 0x1603, S_OK, URLPOLICY_ALLOW},
        ActionCase{"CrossDomainFollowsItsOwnOption", kCrossDomainOnlyDisallowed, 0x1406, S_OK,
                   URLPOLICY_DISALLOW},
        ActionCase{"CrossDomainIgnoresScripts", kScriptsOnlyDisallowed, 0x1406, S_OK,
                   URLPOLICY_ALLOW},
        ActionCase{"ScriptRunDisallowed", kScriptsOnlyDisallowed, 0x1400, S_OK, URLPOLICY_DISALLOW},
        ActionCase{"ScriptMaxDisallowed", kScriptsOnlyDisallowed, 0x15FF, S_OK, URLPOLICY_DISALLOW},
        ActionCase{"PlainSubmitFormsIsTheZones", kAllDisallowed, 0x1601, INET_E_DEFAULT_ACTION,
                   kUntouched},
        ActionCase{"NetworkActionIsTheZones", kAllDisallowed, 0x1A02, INET_E_DEFAULT_ACTION,
                   kUntouched},
        ActionCase{"BelowActiveXIsTheZones", kAllDisallowed, 0x11FF, INET_E_DEFAULT_ACTION,
                   kUntouched},
        ActionCase{"AboveJavaIsTheZones", kAllDisallowed, 0x1D00, INET_E_DEFAULT_ACTION,
                   kUntouched}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ProcessUrlActionJava, EveryLevelHasItsPolicyValue) {
  const std::array<std::pair<TJavaPolicyOption, DWORD>, 5> levels{{
      {TJavaPolicyOption::Prohibited, 0x00000000},
      {TJavaPolicyOption::High, 0x00010000},
      {TJavaPolicyOption::Medium, 0x00020000},
      {TJavaPolicyOption::Low, 0x00030000},
      {TJavaPolicyOption::Custom, 0x00800000},
  }};
  TSecurityManager manager;
  for (const auto& [level, policy] : levels) {
    manager.UrlPolicy.JavaPermissions = level;
    EXPECT_EQ(Ask(manager, URLACTION_JAVA_MIN).Policy, policy);
  }
}

TEST(ProcessUrlActionBuffer, TooSmallAPolicyBufferGetsNothing) {
  TSecurityManager manager;
  std::array<unsigned char, 4> buffer{0xAA, 0xBB, 0xCC, 0xDD};
  EXPECT_EQ(
      manager.ProcessUrlAction(nullptr, URLACTION_SCRIPT_RUN,
                               reinterpret_cast<std::byte*>(buffer.data()), 2, nullptr, 0, 0, 0),
      S_FALSE);
  EXPECT_EQ(buffer, (std::array<unsigned char, 4>{0xAA, 0xBB, 0xCC, 0xDD}));
}

TEST(ProcessUrlActionBuffer, ALargerBufferGetsOnlyFourBytes) {
  TSecurityManager manager;
  manager.UrlPolicy.Scripts = Disallow;
  std::array<unsigned char, 8> buffer{};
  buffer.fill(0xEE);
  EXPECT_EQ(
      manager.ProcessUrlAction(nullptr, URLACTION_SCRIPT_RUN,
                               reinterpret_cast<std::byte*>(buffer.data()), 8, nullptr, 0, 0, 0),
      S_OK);
  DWORD written = 0;
  std::memcpy(&written, buffer.data(), 4);
  EXPECT_EQ(written, URLPOLICY_DISALLOW);
  EXPECT_EQ(buffer[4], 0xEE);
}

TEST(ProcessUrlActionBuffer, MissingBufferIsRefusedNotWritten) {
  TSecurityManager manager;
  EXPECT_EQ(manager.ProcessUrlAction(nullptr, URLACTION_SCRIPT_RUN, nullptr, 4, nullptr, 0, 0, 0),
            E_POINTER);
  EXPECT_EQ(manager.ProcessUrlAction(nullptr, 0x1601, nullptr, 4, nullptr, 0, 0, 0),
            INET_E_DEFAULT_ACTION);
}

}  // namespace
}  // namespace tomelet
