#include "main_window_fakes.h"

namespace tomelet::testing {
namespace {

using StartupOptionsTest = MainWindowTest;

TEST_F(StartupOptionsTest, OptionsShapeTheWindowAndTheStartPage) {
  Started(Document("manual.tlt", FriendlyOptions()));

  EXPECT_EQ(view.width, 800);
  EXPECT_EQ(view.height, 600);
  EXPECT_TRUE(view.Called("centre"));
  EXPECT_TRUE(view.Called("toolbar on"));
  EXPECT_TRUE(view.Called("captions on"));
  EXPECT_TRUE(view.Called("statusbar on"));
  EXPECT_EQ(view.border, TWindowBorder::Sizeable);
  EXPECT_EQ(browser.navigations, std::vector<std::string>{"tome://inpack/index.htm"});
  EXPECT_TRUE(dialogs.information.empty());
  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_TRUE(dialogs.passwordRequests.empty());
  EXPECT_TRUE(protocol.userAgents.empty());
}

TEST_F(StartupOptionsTest, EachPermissionControlsItsCommands) {
  struct Case {
    std::size_t offset;
    std::vector<TFormControl> controls;
  };
  const std::vector<Case> cases = {
      {option_offset::AllowCopy, {TFormControl::CopytoClipboard1}},
      {option_offset::AllowPrint, {TFormControl::ButtonPrint, TFormControl::Print1}},
      {option_offset::AllowFind,
       {TFormControl::ButtonSearch, TFormControl::Search1, TFormControl::ButtonDocumentSearch,
        TFormControl::DocumentSearch1}},
      {option_offset::AllowFontSize, {TFormControl::ButtonFont}},
  };
  for (const auto& denied : cases) {
    view.enabled.clear();
    auto options = FriendlyOptions();
    options.SetBooleanAt(denied.offset, false);
    Started(Document("manual.tlt", options));
    for (const auto& other : cases)
      for (auto control : other.controls)
        EXPECT_EQ(view.enabled.at(control), &other != &denied)
            << "option at " << denied.offset << ", control " << static_cast<int>(control);
  }
  EXPECT_FALSE(view.enabled.contains(TFormControl::ButtonBack)) << "Back follows the history only";
}

class BorderCodeTest
    : public MainWindowTest,
      public ::testing::WithParamInterface<std::pair<std::int32_t, TWindowBorder>> {};

TEST_P(BorderCodeTest, SelectsTheBorder) {
  auto options = FriendlyOptions();
  options.SetIntegerAt(option_offset::WindowBorder, GetParam().first);
  Started(Document("manual.tlt", options));
  EXPECT_EQ(view.border, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Codes, BorderCodeTest,
                         ::testing::Values(std::pair{0, TWindowBorder::None},
                                           std::pair{1, TWindowBorder::SingleNoMaximise},
                                           std::pair{2, TWindowBorder::Sizeable},
                                           std::pair{3, TWindowBorder::NoneMaximised},
                                           std::pair{7, TWindowBorder::Design},
                                           std::pair{-1, TWindowBorder::Design},
                                           std::pair{4, TWindowBorder::Design}));

TEST_F(StartupOptionsTest, StartPageWithForwardSlashesIsKeptWhole) {
  auto options = FriendlyOptions();
  options.SetShortStringAt(option_offset::StartPage, "docs/index.htm");
  Started(Document("manual.tlt", options));
  EXPECT_EQ(browser.navigations, std::vector<std::string>{"tome://inpack/docs/index.htm"});
}

TEST_F(StartupOptionsTest, TenByteRecordStartsWithDefaultsAndNoMessage) {
  Started(Document("manual.tlt", Manual().OptionsBytes(std::string("\x09index.htm", 10))));

  EXPECT_TRUE(dialogs.information.empty());
  EXPECT_TRUE(dialogs.passwordRequests.empty());
  EXPECT_EQ(view.width, 0);
  EXPECT_EQ(view.border, TWindowBorder::None);
  EXPECT_TRUE(view.Called("toolbar off"));
  EXPECT_FALSE(view.Called("centre"));
  EXPECT_FALSE(view.enabled.at(TFormControl::ButtonPrint));
  EXPECT_EQ(browser.navigations, std::vector<std::string>{"tome://inpack/index.htm"});
}

TEST_F(StartupOptionsTest, MissingRecordIsReportedAndLeavesEverythingZero) {
  Started(Document("plain.tlt", TTestDocument().Entry("index.htm", "<p>")));

  EXPECT_EQ(dialogs.information, std::vector<std::string>{"Error reading project options"});
  EXPECT_EQ(view.height, 0);
  EXPECT_EQ(browser.navigations, std::vector<std::string>{"tome://inpack/"});
}

TEST_F(StartupOptionsTest, UserAgentGoesToTheSession) {
  auto options = FriendlyOptions();
  options.SetShortStringAt(option_offset::BrowserUserAgent, "Tomelet/1.0 (test)");
  Started(Document("manual.tlt", options));
  EXPECT_EQ(protocol.userAgents, std::vector<std::string>{"Tomelet/1.0 (test)"});
}

class PasswordTest : public MainWindowTest {
 protected:
  void StartWithPassword(const std::string& stored, const std::string& typed) {
    auto options = FriendlyOptions();
    options.SetShortStringAt(option_offset::AccessPassword, stored);
    dialogs.typedPassword = typed;
    Started(Document("secret.tlt", options));
  }
};

TEST_F(PasswordTest, RightPasswordOpensTheDocument) {
  StartWithPassword("Se#cret", "Se#cret");
  EXPECT_EQ(dialogs.passwordRequests,
            std::vector<std::string>{
                "Password Required|Please provide a password to view content of this file "});
  EXPECT_EQ(view.terminated, 0);
  EXPECT_EQ(browser.navigations.size(), 1u);
}

TEST_F(PasswordTest, DifferentCaseEndsTheProgramSilently) {
  StartWithPassword("Secret", "secret");
  EXPECT_EQ(view.terminated, 1);
  EXPECT_TRUE(browser.navigations.empty());
  EXPECT_EQ(view.width, -1) << "the window is not shaped for a refused document";
  EXPECT_TRUE(dialogs.information.empty());
  EXPECT_TRUE(dialogs.errors.empty());
}

TEST_F(PasswordTest, CancelledOrLongerPasswordEnds) {
  StartWithPassword("Secret", "");
  EXPECT_EQ(view.terminated, 1);
  StartWithPassword("Secret", "Secret ");
  EXPECT_EQ(view.terminated, 2);
}

TEST_F(PasswordTest, PasswordStoredInWindows1252MatchesTheTypedUtf8) {
  StartWithPassword(
      "Gr\xFC\xDF"
      "e",
      "Gr\u00FC\u00DF"
      "e");
  EXPECT_EQ(view.terminated, 0);
  EXPECT_TRUE(PasswordMatches("\u00E9t\u00E9", "\u00E9t\u00E9"));
  EXPECT_FALSE(PasswordMatches("\u00C9T\u00C9", "\xE9t\xE9"));
}

TEST_F(StartupOptionsTest, NoScrollBarsAddsToTheBrowsersOptions) {
  auto options = FriendlyOptions();
  options.SetBooleanAt(option_offset::NoScrollBars, true);
  Started(Document("manual.tlt", options));

  EXPECT_TRUE(browser.options.Contains(TUserInterfaceOption::DontUseScrollBars));
  EXPECT_TRUE(browser.options.Contains(TUserInterfaceOption::EnablesFormsAutoComplete));
}

TEST_F(StartupOptionsTest, RefusedScrollBarOptionIsReportedAndStartUpGoesOn) {
  auto options = FriendlyOptions();
  options.SetBooleanAt(option_offset::NoScrollBars, true);
  browser.refuseOptions = true;
  Started(Document("manual.tlt", options));

  EXPECT_EQ(dialogs.information, std::vector<std::string>{"Can not change Scrollbars option"});
  EXPECT_EQ(browser.navigations.size(), 1u);
}

TEST_F(StartupOptionsTest, RefusedNavigationIsReported) {
  browser.refuseNavigation = true;
  Started(Document("manual.tlt", FriendlyOptions()));
  EXPECT_EQ(dialogs.information, std::vector<std::string>{"Webbrowser Navigation error"});
}

class LogoTest : public MainWindowTest {
 protected:
  void StartWithLogo(std::optional<std::string> logo) {
    auto options = FriendlyOptions();
    options.SetShortStringAt(option_offset::LogoSource, "C:\\art\\logo.ico");
    auto document = Manual().Options(options);
    if (logo)
      document.Logo(*logo);
    Started(Document("logo.tlt", document));
  }
};

TEST_F(LogoTest, ValidIconHeaderReachesTheWindow) {
  StartWithLogo(IconBytes(1));
  EXPECT_EQ(view.logo.size(), IconBytes().size());
  EXPECT_EQ(browser.navigations.size(), 1u);
}

TEST_F(LogoTest, NoLogoSourceKeepsTheBuiltInPicture) {
  Started(Document("logo.tlt", Manual().Options(FriendlyOptions()).Logo(IconBytes())));
  EXPECT_TRUE(view.logo.empty());
}

TEST_F(LogoTest, BadLogosEndStartUpWithTheirMessageAndNoStartPage) {
  const std::vector<std::pair<std::optional<std::string>, std::string>> cases = {
      {std::nullopt, "-logo- not found in archive"},
      {std::string("\0\0\1\0\1", 5), "Stream read error"},
      {IconBytes(2), "Icon image is not valid"},
  };
  for (const auto& [logo, message] : cases) {
    dialogs.errors.clear();
    browser.navigations.clear();
    StartWithLogo(logo);
    EXPECT_EQ(dialogs.errors, std::vector<std::string>{message});
    EXPECT_TRUE(browser.navigations.empty()) << message;
    EXPECT_TRUE(view.logo.empty()) << message;
  }
}

TEST(IconHeader, TypeZeroAndOneAreAccepted) {
  EXPECT_NO_THROW(CheckIconHeader(AsBytes(IconBytes(0))));
  EXPECT_NO_THROW(CheckIconHeader(AsBytes(std::string("\0\0\1\0\0\0", 6))));
  EXPECT_THROW(CheckIconHeader(AsBytes(IconBytes(0x0101))), std::runtime_error);
}

}  // namespace
}  // namespace tomelet::testing
