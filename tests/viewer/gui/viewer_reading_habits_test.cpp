// The reader's everyday habits in the real program: the keyboard reads the page from the start,
// after each page and after reopening; mail and downloads go where the reader says.
#include "viewer_process.h"

namespace tomelet::gui {
namespace {

// A long page that reports its scroll position and the focus of its first link in its title.
constexpr const char* kLongPage =
    "<title>Long</title><a id=l href='form.htm'>Form</a><div style='height:5000px'></div><script>"
    "setInterval(() => document.title = 'y' + scrollY +"
    "                                   (document.activeElement === l ? ' link' : ''), 100);"
    "</script>";
constexpr const char* kFormPage =
    "<title>Form</title><input autofocus oninput='document.title = \"typed \" + this.value'>";

// Two links the size of half the page each: a mail address, then a file the engine cannot show.
constexpr const char* kLinksPage =
    "<title>Links</title><style>a{position:fixed;left:0;width:100%;height:50%}</style>"
    "<a style='top:0' href='mailto:reader@example.org'>Mail</a>"
    "<a style='top:50%' href='files/setup.zip'>Zip</a>";

// A link over the lower half of the page to a page that names no title of its own.
constexpr const char* kTextLinkPage =
    "<title>Text link</title>"
    "<a style='position:fixed;left:0;top:50%;width:100%;height:50%' href='notes.txt'>Notes</a>";

// Numbered paragraphs; the page opens at the hundredth and reports which paragraph stands at
// the top of the view and the height of one paragraph.
constexpr const char* kParagraphsPage =
    "<title>Paragraphs</title><style>p{margin:0}</style><div id=all></div><script>"
    "for (let i = 0; i < 300; ++i) all.insertAdjacentHTML('beforeend', '<p id=p' + i + "
    "'>Paragraph ' + i + ' of a page long enough to read for a while</p>');"
    "p100.scrollIntoView();"
    "setInterval(() => { const top = document.elementFromPoint(innerWidth / 2, 1);"
    "  document.title = 'top ' + (top && top.id) + ' h' + p0.offsetHeight; }, 100);</script>";

// The scroll position of the latest title "y<pixels>", -1 before the first.
int LastScroll(const std::string& trace) {
  const auto at = trace.rfind("title: y");
  return at == std::string::npos ? -1 : std::atoi(trace.c_str() + at + 8);
}

class ViewerReadingHabitsTest : public ViewerTest {
 protected:
  void Click(const std::string& window, int x, int y) {
    CommandOutput("xdotool windowfocus --sync " + window + " mousemove --window " + window + " " +
                  std::to_string(x) + " " + std::to_string(y) + " click 1");
  }
  // Keys for whichever window has the keyboard, such as a dialog that just opened.
  static void PressKeysInFocus(const std::string& keys) {
    std::this_thread::sleep_for(800ms);
    CommandOutput("xdotool key --clearmodifiers " + keys);
  }
};

TEST_F(ViewerReadingHabitsTest, TheKeyboardReadsThePageAtStartAfterEachPageAndAfterReopening) {
  const auto document =
      Document("manual.tlt", OpenOptions(), {{"index.htm", kLongPage}, {"form.htm", kFormPage}});
  Start({document});
  auto window = WaitForWindow("y0");
  ASSERT_FALSE(window.empty()) << Trace();
  PressKeys(window, "Next");
  // The page scrolls smoothly: a Tab in the middle of it would meet a view still moving.
  std::string seen;
  ASSERT_TRUE(WaitUntil(
      [&] {
        std::this_thread::sleep_for(250ms);
        const std::string now = Trace();
        const bool settled = LastScroll(now) > 0 && now == seen;
        seen = now;
        return settled;
      },
      6s))
      << Trace();
  PressKeys(window, "Tab");
  EXPECT_TRUE(WaitForTrace("title: y0 link")) << "the first Tab belongs to the page\n" << Trace();

  PressKeys(window, "Return");
  ASSERT_TRUE(WaitForTrace("title: Form")) << Trace();
  Type(window, "abc");
  EXPECT_TRUE(WaitForTrace("title: typed abc")) << Trace();

  PressKeys(window, "alt+Left");
  ASSERT_TRUE(WaitForTrace("complete: tome://inpack/index.htm", 4s)) << Trace();
  std::this_thread::sleep_for(300ms);
  const int restored = LastScroll(Trace());
  PressKeys(window, "Next Next");
  EXPECT_TRUE(WaitUntil([&] { return LastScroll(Trace()) > restored; }, 4s)) << Trace();
  std::this_thread::sleep_for(300ms);
  PressKeys(window, "ctrl+q");
  ASSERT_EQ(WaitForExit(), 0);

  std::filesystem::remove(trace_);
  Start({document});
  window = WaitForWindow("y[0-9]+");
  ASSERT_FALSE(window.empty()) << Trace();
  const int reopened = LastScroll(Trace());
  PressKeys(window, "Next");
  EXPECT_TRUE(WaitUntil([&] { return LastScroll(Trace()) > reopened; }, 4s)) << Trace();
}

TEST_F(ViewerReadingHabitsTest, MailGoesToTheDesktopAndAFileIsSavedOrOpenedAsTheReaderSays) {
  Start({Document("links.tlt", OpenOptions(),
                  {{"index.htm", kLinksPage}, {"files\\setup.zip", "PK\x03\x04 zipped"}})});
  const auto window = WaitForWindow("Links");
  ASSERT_FALSE(window.empty()) << Trace();
  const auto [width, height] = WindowSize(window);

  Click(window, width / 2, height / 3);
  EXPECT_TRUE(WaitForTrace("shell: mailto:reader@example.org")) << Trace();

  Click(window, width / 2, height * 3 / 4);
  ASSERT_TRUE(WaitForTrace("download: setup.zip")) << Trace();
  PressKeysInFocus("Return");
  ASSERT_TRUE(WaitForTrace("save dialog: setup.zip")) << Trace();
  const auto saved = folder_ / "saved.zip";
  PressKeysInFocus("ctrl+a");
  CommandOutput("xdotool type --delay 20 '" + saved.string() + "'");
  PressKeysInFocus("Return");
  EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(saved); }, 4s)) << Trace();

  Click(window, width / 2, height * 3 / 4);
  ASSERT_TRUE(WaitUntil([&] { return Occurrences(Trace(), "download: setup.zip") == 2; }, 4s))
      << Trace();
  PressKeysInFocus("alt+o");
  EXPECT_TRUE(WaitForTrace("/setup.zip\n")) << Trace();
  const auto trace = Trace();
  EXPECT_EQ(trace.find("status: -"), std::string::npos) << trace;
  EXPECT_EQ(trace.find("error:"), std::string::npos) << trace;
  // The window manager gives the keyboard back to the window a moment after the dialog went.
  std::this_thread::sleep_for(500ms);
  PressKeys(window, "ctrl+q");
  EXPECT_EQ(WaitForExit(), 0) << Trace();
}

TEST_F(ViewerReadingHabitsTest, TheCaptionAndTheStatusBarFollowThePageAndThePointer) {
  Start({Document("notes.tlt", OpenOptions(),
                  {{"index.htm", kTextLinkPage}, {"notes.txt", "Plain notes"}})});
  const auto window = WaitForWindow("Text link");
  ASSERT_FALSE(window.empty()) << Trace();
  const auto [width, height] = WindowSize(window);
  CommandOutput("xdotool mousemove --window " + window + " " + std::to_string(width / 2) + " " +
                std::to_string(height * 3 / 4));
  ASSERT_TRUE(WaitForTrace("status: tome://inpack/notes.txt\n")) << Trace();
  CommandOutput("xdotool mousemove --window " + window + " " + std::to_string(width / 2) + " 5");
  EXPECT_TRUE(WaitUntil(
      [&] {
        const auto trace = Trace();
        return trace.find("status: \n", trace.rfind("status: tome://")) != std::string::npos;
      },
      4s))
      << "the link's text goes with the pointer\n"
      << Trace();

  Click(window, width / 2, height * 3 / 4);
  EXPECT_FALSE(WaitForWindow("notes.txt").empty()) << Trace();
  EXPECT_EQ(Trace().find("title: tome:"), std::string::npos) << Trace();
}

TEST_F(ViewerReadingHabitsTest, TextSizeChangesKeepTheParagraphAtTheTopInPlace) {
  Start({Document("paragraphs.tlt", OpenOptions(), {{"index.htm", kParagraphsPage}})});
  const auto window = WaitForWindow("top p100 h[0-9]+");
  ASSERT_FALSE(window.empty()) << Trace();
  const auto lastTitle = [&] {
    const auto trace = Trace();
    const auto at = trace.rfind("title: ");
    return trace.substr(at + 7, trace.find('\n', at) - at - 7);
  };
  const auto height = [&] { return std::atoi(lastTitle().c_str() + lastTitle().rfind(" h") + 2); };
  const int medium = height();
  PressKeys(window, "ctrl+plus ctrl+plus");
  ASSERT_TRUE(WaitUntil([&] { return height() > medium; }, 4s)) << Trace();
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(lastTitle().starts_with("top p100 ")) << Trace();
  PressKeys(window, "ctrl+minus ctrl+minus ctrl+minus");
  ASSERT_TRUE(WaitUntil([&] { return height() < medium; }, 4s)) << Trace();
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(lastTitle().starts_with("top p100 ")) << Trace();
}

}  // namespace
}  // namespace tomelet::gui
