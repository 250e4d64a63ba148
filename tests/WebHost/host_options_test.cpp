#include "platform/urlmon/UrlMon.h"
#include "tests/WebHost/HostFixture.h"

namespace tomelet::testing {
namespace {

using HostOptionsTest = HostFixture;

const TUserInterfaceOptions kViewerOptions{TUserInterfaceOption::EnablesFormsAutoComplete,
                                           TUserInterfaceOption::EnableThemes};

TEST_F(HostOptionsTest, DontUseScrollBarsTakesTheScrollBarsOffThePageUntilDropped) {
  EXPECT_EQ(host_->UserInterfaceOptions(), kViewerOptions);
  auto withoutBars = kViewerOptions;
  withoutBars.Include(TUserInterfaceOption::DontUseScrollBars);
  host_->SetUserInterfaceOptions(withoutBars);
  EXPECT_EQ(host_->UserInterfaceOptions().HostFlags(), 0x44008u);

  ASSERT_TRUE(NavigateAndWait("tome://inpack/long.htm"));
  EXPECT_EQ(Evaluate("getComputedStyle(document.documentElement).overflowY"), "hidden");

  host_->SetUserInterfaceOptions(kViewerOptions);
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  EXPECT_EQ(Evaluate("getComputedStyle(document.documentElement).overflowY"), "visible");
}

TEST_F(HostOptionsTest, ASilentBrowserAnswersThePagesDialogsItself) {
  EXPECT_FALSE(host_->Silent());
  host_->SetSilent(true);
  EXPECT_TRUE(host_->Silent());
  ASSERT_TRUE(NavigateAndWait(kStartPage));
  EXPECT_EQ(Evaluate("confirm('Go on?') ? 'yes' : 'no'"), "no");
}

TEST_F(HostOptionsTest, TheSessionsUserAgentIsThePagesUserAgent) {
  const std::string agent = "TomeletTest/1.0";
  UrlMkSetSessionOption(URLMON_OPTION_USERAGENT, agent.data(), static_cast<DWORD>(agent.size()), 0);
  const bool loaded = NavigateAndWait(kStartPage);
  const std::string seen = Evaluate("navigator.userAgent");
  UrlMkSetSessionOption(URLMON_OPTION_USERAGENT, nullptr, 0, 0);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(seen, agent);
}

TEST_F(HostOptionsTest, SettingsHoldTheViewersValues) {
  EXPECT_EQ(host_->Settings.PrintOptions.Margins.Left, 19.05);
  EXPECT_EQ(host_->Settings.PrintOptions.Header, "&w&bPage &p of &P");
  EXPECT_EQ(host_->Settings.PrintOptions.Footer, "&u&b&d");
  EXPECT_EQ(host_->Settings.PrintOptions.HTMLHeader, std::vector<std::string>{"<HTML></HTML>"});
  EXPECT_FALSE(host_->Settings.DisableErrors.ScriptErrorsSuppressed);
  EXPECT_EQ(host_->Settings.VisualEffects.TextSize, 2);
}

}  // namespace
}  // namespace tomelet::testing
