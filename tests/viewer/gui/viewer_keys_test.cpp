// The viewer's keys as a reader presses them: Esc in a field and on the page, the shortcuts of
// the commands, full screen, reload, the first key after a bar on a page slow to answer keys, and
// no shortcut for a command the document forbids.
#include "viewer_process.h"

namespace tomelet::gui {
namespace {

// A field across the top of the page; the page reports an Esc it receives in its title.
constexpr const char* kFieldPage =
    "<title>Keys</title>"
    "<input id=f style='position:fixed;left:0;top:0;width:100%;height:120px;font-size:30px'>"
    "<div style='height:2000px'></div>"
    "<script>f.addEventListener('focus', () => document.title = 'typing');"
    "document.addEventListener('keydown', e => {"
    "  if (e.key === 'Escape') document.title = 'esc ' + f.value; });</script>";

// The page reports the height of its text in its title, so the title shows the text size. The
// first visit goes on to a second page once, for Alt+Home to come back from.
constexpr const char* kTextHeightThenSecondPage =
    "<title>h0</title><span id=t>Text</span><script>"
    "if (!sessionStorage.visited) { sessionStorage.visited = 1; location.href = 'two.htm'; }"
    "setInterval(() => document.title = 'h' + t.offsetHeight, 100)</script>";

// A page that holds each key it is given for a while; its link tells in the title when it has the
// keyboard.
constexpr const char* kSlowPage =
    "<title>Slow</title><a id=l href='dict.htm'>Mappings</a><script>"
    "addEventListener('keydown', () => { for (const end = Date.now() + 150; Date.now() < end;); });"
    "l.addEventListener('focus', () => document.title = 'link');</script>";

class ViewerKeysTest : public ViewerTest {
 protected:
  void Click(const std::string& window, int x, int y) {
    CommandOutput("xdotool windowfocus --sync " + window + " mousemove --window " + window + " " +
                  std::to_string(x) + " " + std::to_string(y) + " click 1");
  }
  bool StillRunning() { return !WaitForExit(500ms).has_value(); }

  std::string StartOnTextHeightPage(const TProjectOptions& options) {
    Start(
        {Document("keys.tlt", options,
                  {{"index.htm", kTextHeightThenSecondPage}, {"two.htm", "<title>Two</title>"}})});
    const auto window = WaitForWindow("Two");
    return window;
  }
};

TEST_F(ViewerKeysTest, EscInATextFieldReachesThePageAndEscOnThePageEnds) {
  Start({Document("keys.tlt", OpenOptions(), {{"index.htm", kFieldPage}})});
  const auto window = WaitForWindow("Keys");
  ASSERT_FALSE(window.empty()) << Trace();

  Click(window, 200, 120);
  ASSERT_TRUE(WaitForTrace("title: typing")) << Trace();
  std::this_thread::sleep_for(200ms);
  Type(window, "abc");
  PressKeys(window, "Escape");
  EXPECT_TRUE(WaitForTrace("title: esc abc")) << Trace();
  EXPECT_TRUE(StillRunning()) << "Esc in a field must not end the program";

  Click(window, 200, 400);
  std::this_thread::sleep_for(300ms);
  PressKeys(window, "Escape");
  EXPECT_EQ(WaitForExit(), 0);
  EXPECT_NE(Trace().find("complete: about:blank"), std::string::npos) << Trace();
}

TEST_F(ViewerKeysTest, ShortcutsReachTheirCommands) {
  // Ending with the find bar open once made the toolkit complain; any complaint now ends the run.
  environment_["G_DEBUG"] = "fatal-criticals";
  const auto window = StartOnTextHeightPage(OpenOptions());
  ASSERT_FALSE(window.empty()) << Trace();

  PressKeys(window, "alt+Home");
  ASSERT_TRUE(WaitUntil([&] { return LastTextHeight(Trace()) > 0; }, 5s)) << Trace();
  const int medium = LastTextHeight(Trace());
  PressKeys(window, "ctrl+plus");
  EXPECT_TRUE(WaitUntil([&] { return LastTextHeight(Trace()) > medium; }, 4s)) << Trace();
  PressKeys(window, "ctrl+0");
  EXPECT_TRUE(WaitUntil([&] { return LastTextHeight(Trace()) == medium; }, 4s)) << Trace();
  PressKeys(window, "ctrl+minus");
  EXPECT_TRUE(WaitUntil([&] { return LastTextHeight(Trace()) < medium; }, 4s)) << Trace();

  const auto loads = Occurrences(Trace(), "complete: tome://inpack/index.htm");
  PressKeys(window, "F5");
  EXPECT_TRUE(WaitForMore("complete: tome://inpack/index.htm", loads, 5s)) << Trace();

  PressKeys(window, "F11");
  EXPECT_TRUE(WaitForTrace("window: full screen")) << Trace();
  PressKeys(window, "Escape");
  EXPECT_TRUE(WaitForTrace("window: not full screen")) << Trace();
  EXPECT_TRUE(StillRunning()) << "Esc in full screen only leaves it";

  PressKeys(window, "ctrl+p");
  EXPECT_FALSE(WaitForWindow("Print Preview").empty()) << Trace();
  PressKeys(window, "ctrl+f");
  EXPECT_TRUE(WaitForTrace("find: shown")) << Trace();
  PressKeys(window, "ctrl+w");
  EXPECT_EQ(WaitForExit(), 0);
}

TEST_F(ViewerKeysTest, TheToolBarAndTheHistoryListAreReachedWithoutAMouse) {
  // A move made once the page is loaded is kept in the history, as a reader's would be.
  Start({Document("keys.tlt", OpenOptions(),
                  {{"index.htm",
                    "<title>One</title><script>onload = () => setTimeout("
                    "() => location.href = 'two.htm', 100)</script>"},
                   {"two.htm", "<title>Two</title>"}})});
  const auto window = WaitForWindow("Two");
  ASSERT_FALSE(window.empty()) << Trace();
  std::this_thread::sleep_for(300ms);
  PressKeys(window, "F10");
  ASSERT_TRUE(WaitForTrace("focus: Back")) << Trace();
  PressKeys(window, "Down");
  EXPECT_TRUE(WaitForTrace("menu: Back: One")) << Trace();
  PressKeys(window, "Return");
  EXPECT_FALSE(WaitForWindow("One").empty()) << Trace();
}

// The keys that open a bar reach the page as well, and a slow page answers them only once the bar
// has the keyboard; the page still gets the first key after the bar closes, whether Esc closed
// the find bar or a search closed the search bar.
TEST_F(ViewerKeysTest, ThePageGetsTheFirstKeyAfterABarThatOpenedWhileItWasSlow) {
  Start({Document("slow.tlt", OpenOptions(),
                  {{"index.htm", kSlowPage},
                   {"dict.htm", "<title>Mappings</title><p>Every dict maps keys.</p>"}})});
  const auto window = WaitForWindow("Slow");
  ASSERT_FALSE(window.empty()) << Trace();
  // The reader looks at each bar before going on, while the page answers the keys.
  PressKeys(window, "ctrl+f");
  ASSERT_TRUE(WaitForTrace("find: shown")) << Trace();
  std::this_thread::sleep_for(600ms);
  PressKeys(window, "Escape");
  ASSERT_TRUE(WaitForTrace("find: closed")) << Trace();
  PressKeys(window, "Tab");
  EXPECT_TRUE(WaitForTrace("title: link")) << "the first Tab reaches the link: " << Trace();

  // The start page again has the keyboard, wherever the Tab went.
  const auto started = Occurrences(Trace(), "complete: tome://inpack/index.htm");
  PressKeys(window, "alt+Home");
  ASSERT_TRUE(WaitForMore("complete: tome://inpack/index.htm", started)) << Trace();
  PressKeys(window, "ctrl+shift+f");
  ASSERT_TRUE(WaitForTrace("search: shown")) << Trace();
  std::this_thread::sleep_for(600ms);
  Type(window, "dict");
  PressKeys(window, "Return");
  ASSERT_TRUE(WaitForTrace("complete: tome://search/?q=dict\n", 30s)) << Trace();
  PressKeys(window, "Tab Return");
  EXPECT_TRUE(WaitForTrace("complete: tome://inpack/dict.htm"))
      << "the first Tab reaches the first result, not the tool bar's Back: " << Trace();
}

TEST_F(ViewerKeysTest, CommandsTheDocumentForbidsHaveNoShortcuts) {
  auto options = OpenOptions();
  for (auto offset :
       {option_offset::AllowFind, option_offset::AllowPrint, option_offset::AllowFontSize})
    options.SetBooleanAt(offset, false);
  const auto window = StartOnTextHeightPage(options);
  ASSERT_FALSE(window.empty()) << Trace();
  PressKeys(window, "alt+Home");
  ASSERT_TRUE(WaitUntil([&] { return LastTextHeight(Trace()) > 0; }, 5s)) << Trace();
  const int medium = LastTextHeight(Trace());

  PressKeys(window, "ctrl+plus ctrl+f ctrl+p");
  EXPECT_TRUE(WaitForWindow("Print Preview", 1500ms).empty());
  EXPECT_EQ(Trace().find("find: shown"), std::string::npos);
  EXPECT_EQ(LastTextHeight(Trace()), medium);
  PressKeys(window, "ctrl+q");
  EXPECT_EQ(WaitForExit(), 0);
}

}  // namespace
}  // namespace tomelet::gui
