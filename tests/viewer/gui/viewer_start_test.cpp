#include "viewer_process.h"

namespace tomelet::gui {
namespace {

using ViewerStartTest = ViewerTest;

TEST_F(ViewerStartTest, CaptionFollowsThePageTitle) {
  Start({Document("manual.tlt", OpenOptions())});

  EXPECT_FALSE(WaitForWindow("Sample Start").empty()) << Trace();
  EXPECT_TRUE(WaitForTrace("navigate: tome://inpack/index.htm"));
  EXPECT_TRUE(WaitForTrace("title: Sample Start"));
}

TEST_F(ViewerStartTest, UpperCaseExtensionEndsSilentlyWithoutAWindow) {
  const auto path = Document("manual.tlt", OpenOptions());
  const auto upper = (folder_ / "MANUAL.TLT").string();
  std::filesystem::copy_file(path, upper);
  Start({upper});

  EXPECT_EQ(WaitForExit(), 0);
  const auto trace = Trace();
  EXPECT_EQ(trace.find("window: shown"), std::string::npos) << trace;
  EXPECT_EQ(trace.find("information:"), std::string::npos) << trace;
  EXPECT_EQ(trace.find("error:"), std::string::npos) << trace;
}

TEST_F(ViewerStartTest, TwoArgumentsAskWithTheOpenDialogAndCancelEnds) {
  const auto path = Document("manual.tlt", OpenOptions());
  Start({path, path});

  const auto dialog = WaitForWindow("Open");
  ASSERT_FALSE(dialog.empty()) << Trace();
  PressKeys(dialog, "Escape");
  EXPECT_EQ(WaitForExit(), 0);
  EXPECT_EQ(Trace().find("window: shown"), std::string::npos);
}

TEST_F(ViewerStartTest, WrongPasswordEndsWithoutTheMainWindow) {
  auto options = OpenOptions();
  options.SetShortStringAt(option_offset::AccessPassword, "Secret");
  Start({Document("secret.tlt", options)});

  const auto dialog = WaitForWindow("Password Required");
  ASSERT_FALSE(dialog.empty()) << Trace();
  Type(dialog, "secret");
  PressKeys(dialog, "Return");
  EXPECT_EQ(WaitForExit(), 0);
  EXPECT_EQ(Trace().find("window: shown"), std::string::npos);
}

TEST_F(ViewerStartTest, RightPasswordOpensTheDocument) {
  auto options = OpenOptions();
  options.SetShortStringAt(option_offset::AccessPassword, "Se cret");
  Start({Document("secret.tlt", options)});

  const auto dialog = WaitForWindow("Password Required");
  ASSERT_FALSE(dialog.empty()) << Trace();
  Type(dialog, "Se cret");
  PressKeys(dialog, "Return");
  EXPECT_FALSE(WaitForWindow("Sample Start").empty()) << Trace();
}

TEST_F(ViewerStartTest, TenByteRecordStartsWithTheDefaults) {
  Start({Document("short.tlt", Manual().OptionsBytes(std::string("\x09index.htm", 10)))});

  const auto window = WaitForWindow("Sample Start");
  ASSERT_FALSE(window.empty()) << Trace();
  const auto trace = Trace();
  EXPECT_EQ(trace.find("information:"), std::string::npos) << trace;
  EXPECT_EQ(WindowSize(window).first, 200) << "raised to the minimum width";
  EXPECT_NE(Property(window, "_MOTIF_WM_HINTS").find("0x2, 0x0, 0x0"), std::string::npos)
      << "border code 0: no decorations";
}

TEST_F(ViewerStartTest, LogoSourceWithoutLogoShowsTheMessageAndNoStartPage) {
  auto options = OpenOptions();
  options.SetShortStringAt(option_offset::LogoSource, "logo.ico");
  Start({Document("nologo.tlt", options)});

  ASSERT_TRUE(WaitForTrace("error: -logo- not found in archive")) << Trace();
  const auto box = WaitForWindow("Tomelet Viewer");
  ASSERT_FALSE(box.empty());
  PressKeys(box, "Return");
  ASSERT_TRUE(WaitForTrace("window: shown"));
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(Trace().find("navigate: tome://"), std::string::npos) << Trace();
}

TEST_F(ViewerStartTest, MissingStartPageShows404InTheStatusBar) {
  Start({Document("missing.tlt", OpenOptions("C:\\docs\\absent.htm"))});
  EXPECT_TRUE(WaitForTrace("status: 404")) << Trace();
}

TEST_F(ViewerStartTest, RegistrationSwitchesEndAtOnce) {
  for (const char* option : {"/RegServer", "-unregserver"}) {
    Start({option});
    EXPECT_EQ(WaitForExit(2s), 0) << option;
    EXPECT_TRUE(Trace().empty()) << option;
  }
}

}  // namespace
}  // namespace tomelet::gui
