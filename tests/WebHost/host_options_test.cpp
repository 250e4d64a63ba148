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

// Counts the criticals logged while it lives: the engine refuses a user agent with one.
class LoggedCriticals {
 public:
  LoggedCriticals() : previous_(g_log_set_default_handler(Count, &count_)) {}
  ~LoggedCriticals() { g_log_set_default_handler(previous_, nullptr); }
  int Count() const { return count_; }

 private:
  static void Count(const gchar*, GLogLevelFlags level, const gchar*, gpointer count) {
    if (level & G_LOG_LEVEL_CRITICAL)
      ++*static_cast<int*>(count);
  }
  int count_ = 0;
  GLogFunc previous_;
};

// The options record's bytes as they stand: the page sees one line, or the engine's own user
// agent where the text cannot be sent, and the engine never complains.
TEST_F(HostOptionsTest, AUserAgentWithLineBreaksReachesThePageAsOneLine) {
  const LoggedCriticals criticals;
  const std::string engines = Evaluate("navigator.userAgent");
  const std::pair<std::string, std::string> cases[] = {
      {"\r\nTomeletTest/1.0\r\n(Manual; X11)\n", "TomeletTest/1.0 (Manual; X11)"},
      {"Tomelet/1.0 (a (nested) \\) comment)", "Tomelet/1.0 (a (nested) \\) comment)"},
      {"Acme Docs, v2\r\nX-Injected: yes", engines},
  };
  for (const auto& [recorded, seen] : cases) {
    UrlMkSetSessionOption(URLMON_OPTION_USERAGENT, recorded.data(),
                          static_cast<DWORD>(recorded.size()), 0);
    EXPECT_TRUE(NavigateAndWait(kStartPage));
    EXPECT_EQ(Evaluate("navigator.userAgent"), seen);
  }
  UrlMkSetSessionOption(URLMON_OPTION_USERAGENT, nullptr, 0, 0);
  EXPECT_EQ(criticals.Count(), 0);
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
