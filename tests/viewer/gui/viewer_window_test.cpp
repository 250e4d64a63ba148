#include <regex>

#include "viewer_process.h"

namespace tomelet::gui {
namespace {

struct BorderCase {
  std::int32_t code;
  bool decorated;
  bool resizable;
  bool maximised;
  std::string motifHints;  // functions and decorations, as xprop prints them
};

std::pair<int, int> ScreenSize() {
  std::istringstream size(CommandOutput("xdotool getdisplaygeometry"));
  std::pair<int, int> screen{-1, -1};
  size >> screen.first >> screen.second;
  return screen;
}

void PrintTo(const BorderCase& border, std::ostream* out) {
  *out << "code " << border.code;
}

class WindowBorderTest : public ViewerTest, public ::testing::WithParamInterface<BorderCase> {};

bool FixedSize(const std::string& normalHints) {
  std::smatch minimum, maximum;
  const std::regex minimumSize("minimum size: (\\d+) by (\\d+)");
  const std::regex maximumSize("maximum size: (\\d+) by (\\d+)");
  return std::regex_search(normalHints, minimum, minimumSize) &&
         std::regex_search(normalHints, maximum, maximumSize) && minimum[1] == maximum[1] &&
         minimum[2] == maximum[2];
}

TEST_P(WindowBorderTest, GivesTheDescribedWindow) {
  auto options = OpenOptions();
  options.SetIntegerAt(option_offset::WindowBorder, GetParam().code);
  Start({Document("border.tlt", options)});

  const auto window = WaitForWindow("Sample Start");
  ASSERT_FALSE(window.empty()) << Trace();
  const auto motif = Property(window, "_MOTIF_WM_HINTS");
  if (!GetParam().motifHints.empty()) {
    EXPECT_NE(motif.find(GetParam().motifHints), std::string::npos) << motif;
  }
  const bool undecorated = motif.find("= 0x2, 0x0, 0x0") != std::string::npos;
  EXPECT_EQ(undecorated, !GetParam().decorated) << motif;
  // The window manager's frame, as the user sees it around the window.
  const auto frame = Property(window, "_NET_FRAME_EXTENTS");
  EXPECT_EQ(frame.find("= 0, 0, 0, 0") != std::string::npos, !GetParam().decorated) << frame;
  EXPECT_EQ(FixedSize(Property(window, "WM_NORMAL_HINTS")), !GetParam().resizable);
  const auto state = Property(window, "_NET_WM_STATE");
  EXPECT_EQ(state.find("_NET_WM_STATE_MAXIMIZED_VERT") != std::string::npos, GetParam().maximised)
      << state;
  if (GetParam().maximised) {
    EXPECT_TRUE(WaitUntil([&] { return WindowSize(window) == ScreenSize(); }, 4s))
        << "a maximised window fills the screen";
  } else if (!GetParam().resizable) {
    EXPECT_EQ(WindowSize(window), std::make_pair(640, 480));
  }
}

INSTANTIATE_TEST_SUITE_P(Codes, WindowBorderTest,
                         ::testing::Values(BorderCase{0, false, false, false, ""},
                                           BorderCase{1, true, false, false, "0x2c, 0x3a"},
                                           BorderCase{2, true, true, false, ""},
                                           BorderCase{3, false, true, true, ""},
                                           BorderCase{7, true, false, false, "0x3c, 0x7a"}));

using WindowPlacementTest = ViewerTest;

TEST_F(WindowPlacementTest, ASecondDocumentWindowDoesNotCoverTheFirst) {
  const auto document = Document("manual.tlt", OpenOptions());
  Start({document});
  const auto first = WaitForWindow("Sample Start");
  ASSERT_FALSE(first.empty()) << Trace();
  const pid_t firstProcess = pid_;
  Start({document});
  std::string second;
  WaitUntil(
      [&] {
        second = CommandOutput("xdotool search --all --onlyvisible --pid " + std::to_string(pid_) +
                               " --name '^Sample Start$' | head -n1");
        return !second.empty();
      },
      8s);
  ASSERT_FALSE(second.empty()) << Trace();
  const auto [x, y] = WindowPosition(first);
  const auto [x2, y2] = WindowPosition(second);
  EXPECT_GT(x2, x) << "a step to the right";
  EXPECT_GT(y2, y) << "and down";
  ::kill(firstProcess, SIGKILL);
  ::waitpid(firstProcess, nullptr, 0);
}

using ViewerCloseTest = ViewerTest;

TEST_F(ViewerCloseTest, EscapeBlanksThePageAndEnds) {
  Start({Document("manual.tlt", OpenOptions())});
  const auto window = WaitForWindow("Sample Start");
  ASSERT_FALSE(window.empty()) << Trace();

  PressKeys(window, "Escape");
  EXPECT_EQ(WaitForExit(), 0);
  EXPECT_NE(Trace().find("complete: about:blank"), std::string::npos) << Trace();
}

// The centre of a tool button, from the last place the trace reported for it.
std::pair<int, int> ButtonCentre(const std::string& trace, const std::string& caption) {
  const std::regex place("button: " + caption + " (\\d+) (\\d+) (\\d+) (\\d+)");
  std::pair<int, int> centre{-1, -1};
  for (std::sregex_iterator it(trace.begin(), trace.end(), place), end; it != end; ++it)
    centre = {std::stoi((*it)[1]) + std::stoi((*it)[3]) / 2,
              std::stoi((*it)[2]) + std::stoi((*it)[4]) / 2};
  return centre;
}

TEST_F(ViewerCloseTest, ExitButtonEnds) {
  Start({Document("manual.tlt", OpenOptions())});
  const auto window = WaitForWindow("Sample Start");
  ASSERT_FALSE(window.empty()) << Trace();
  ASSERT_TRUE(WaitForTrace("title: Sample Start"));

  const auto [x, y] = ButtonCentre(Trace(), "Exit");
  ASSERT_GT(x, 0) << Trace();
  CommandOutput("xdotool mousemove --window " + window + " " + std::to_string(x) + " " +
                std::to_string(y) + " click 1");
  EXPECT_EQ(WaitForExit(), 0);
}

TEST_F(ViewerCloseTest, AltLeftGoesBackInTheHistory) {
  Start({Document("manual.tlt", OpenOptions(),
                  {{"index.htm",
                    "<title>One</title>"
                    "<script>setTimeout(() => location.href = 'two.htm', 100)</script>"},
                   {"two.htm", "<title>Two</title>"}})});
  const auto window = WaitForWindow("Two");
  ASSERT_FALSE(window.empty()) << Trace();

  PressKeys(window, "alt+Left");
  EXPECT_TRUE(WaitUntil([&] { return Occurrences(Trace(), "title: One") >= 2; }, 5s)) << Trace();
}

// The page reports the height of its text in its title, so the title shows the text size.
constexpr const char* kTextHeightPage =
    "<title>h0</title><span id=t>Text</span><script>setInterval(() => document.title = 'h' + "
    "document.getElementById('t').offsetHeight, 100)</script>";

TEST_F(ViewerCloseTest, FontSizeBodyOpensTheTextSizeMenu) {
  Start({Document("manual.tlt", OpenOptions(), {{"index.htm", kTextHeightPage}})});
  const auto window = WaitForWindow("h[1-9].*");
  ASSERT_FALSE(window.empty()) << Trace();
  const int medium = LastTextHeight(Trace());

  const auto [x, y] = ButtonCentre(Trace(), "Font Size");
  ASSERT_GT(x, 0) << Trace();
  CommandOutput("xdotool mousemove --window " + window + " " + std::to_string(x) + " " +
                std::to_string(y) + " click 1");
  std::this_thread::sleep_for(500ms);
  CommandOutput("xdotool key Up Return");
  EXPECT_TRUE(WaitUntil([&] { return LastTextHeight(Trace()) < medium; }, 4s))
      << "Smallest, the last item, makes the text smaller than Medium: " << Trace();
}

}  // namespace
}  // namespace tomelet::gui
