#include "viewer_process.h"

namespace tomelet::gui {
namespace {

using ViewerStartTest = ViewerTest;

// The libraries mapped into a process, one path a line, as /proc shows them.
std::string MappedFiles(pid_t pid) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::stringstream text;
  text << maps.rdbuf();
  return text.str();
}

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

// Pages are painted by the processor, so the window never starts OpenGL to show them: the
// engine's check for shared graphics buffers did, at every start. The first program on a fresh
// display loads it whatever it is asked, so the viewer is measured on its second start.
TEST_F(ViewerStartTest, ThePageIsShownWithoutOpenGLInTheViewersOwnProcess) {
  const auto path = Document("manual.tlt", OpenOptions());
  for (const bool measured : {false, true}) {
    std::filesystem::remove(trace_);
    Start({path});
    ASSERT_TRUE(WaitForTrace("complete: tome://inpack/index.htm")) << Trace();
    EXPECT_FALSE(WaitForWindow("Sample Start").empty()) << Trace();
    const auto mapped = MappedFiles(pid_);
    ASSERT_NE(mapped.find("libwebkit2gtk"), std::string::npos);
    if (measured) {
      EXPECT_EQ(mapped.find("libGLX_mesa"), std::string::npos);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }
}

}  // namespace
}  // namespace tomelet::gui
