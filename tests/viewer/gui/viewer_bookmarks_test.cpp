// Bookmarks and history as a reader uses them in the real program: Ctrl+D keeps the page and its
// place, the Bookmarks button's menu opens it there again, and Back's menu still lists the pages
// of the last session after the document was opened again.
#include "viewer_process.h"

namespace tomelet::gui {
namespace {

// A fresh start goes on from the start page to the long page, which then scrolls itself once; a
// history resumed from the last session goes nowhere. The long page reports its scroll position
// in its title.
constexpr const char* kOnceToLongPage =
    "<title>Start</title><script>if (history.length == 1) { sessionStorage.scrollOnce = 1;"
    "setTimeout(() => location.href = 'long.htm', 200); }</script>";
constexpr const char* kScrolledLongPage =
    "<title>Long</title><div style='height:5000px'></div><script>"
    "if (sessionStorage.scrollOnce) { delete sessionStorage.scrollOnce; scrollTo(0, 1500); }"
    "setInterval(() => document.title = 'y' + Math.round(scrollY), 100)</script>";

class ViewerBookmarksTest : public ViewerTest {
 protected:
  std::string StartDocument() {
    if (document_.empty())
      document_ = Document("manual.tlt", OpenOptions(),
                           {{"index.htm", kOnceToLongPage}, {"long.htm", kScrolledLongPage}});
    std::filesystem::remove(trace_);
    Start({document_});
    return WaitForWindow("y1500");
  }

  std::string BookmarkFileText() const {
    for (const auto& item :
         std::filesystem::directory_iterator(folder_ / "data" / "tomelet" / "bookmarks")) {
      std::ifstream file(item.path());
      std::stringstream text;
      text << file.rdbuf();
      return text.str();
    }
    return {};
  }

  std::string document_;
};

TEST_F(ViewerBookmarksTest, ABookmarkOpensItsPageAtThePlaceItWasMade) {
  auto window = StartDocument();
  ASSERT_FALSE(window.empty()) << Trace();
  PressKeys(window, "ctrl+d");
  ASSERT_TRUE(WaitForTrace("status: Bookmarked: y1500")) << Trace();
  const auto file = BookmarkFileText();
  EXPECT_TRUE(file.starts_with("<!DOCTYPE NETSCAPE-Bookmark-file-1>")) << file;
  EXPECT_NE(file.find("<A HREF=\"tome://inpack/long.htm\""), std::string::npos) << file;
  EXPECT_NE(file.find("TOMELET_SCROLL=\"0 1500\">y1500</A>"), std::string::npos) << file;

  PressKeys(window, "alt+Home");
  ASSERT_FALSE(WaitForWindow("Start").empty()) << Trace();
  ClickToolButton(window, "Bookmarks", 1);
  ASSERT_TRUE(WaitForTrace("menu: Bookmarks: Bookmark This Page | y1500\n")) << Trace();
  CommandOutput("xdotool key Down Down Return");
  EXPECT_FALSE(WaitForWindow("y1500").empty()) << Trace();
  EXPECT_EQ(Occurrences(Trace(), "navigate: tome://inpack/long.htm"), 2u) << Trace();

  ClickToolButton(window, "Bookmarks", 1);
  ASSERT_TRUE(WaitUntil([&] { return Occurrences(Trace(), "menu: Bookmarks:") == 2; }, 4s));
  std::this_thread::sleep_for(300ms);
  CommandOutput("xdotool key Down Down Down Right sleep 0.3 key Return");
  ASSERT_TRUE(WaitForTrace("window: Rename Bookmark")) << Trace();
  CommandOutput("xdotool key ctrl+a type 'Deep part'");
  CommandOutput("xdotool key Return");
  EXPECT_TRUE(WaitUntil(
      [&] { return BookmarkFileText().find("\">Deep part</A>") != std::string::npos; }, 4s))
      << BookmarkFileText();
}

TEST_F(ViewerBookmarksTest, BacksMenuListsTheLastSessionsPagesAfterReopening) {
  auto window = StartDocument();
  ASSERT_FALSE(window.empty()) << Trace();
  PressKeys(window, "alt+Home");
  ASSERT_FALSE(WaitForWindow("Start").empty()) << Trace();
  PressKeys(window, "Escape");
  ASSERT_EQ(WaitForExit(), 0);

  Start({document_});
  window = WaitForWindow("Start");
  ASSERT_FALSE(window.empty()) << Trace();
  ClickToolButton(window, "Back", 3);
  ASSERT_TRUE(WaitForTrace("menu: Back: y1500 | Start\n")) << Trace();
  // The window is titled "Start" before the move as after it: Forward has a page only once the
  // start page has loaded again.
  const auto loads = Occurrences(Trace(), "complete: tome://inpack/index.htm");
  CommandOutput("xdotool key Down Down Return");
  EXPECT_TRUE(WaitForMore("complete: tome://inpack/index.htm", loads)) << Trace();
  EXPECT_FALSE(WaitForWindow("Start").empty()) << Trace();
  // A long press shows the menu too; letting go on a page goes there.
  const auto trace = Trace();
  std::istringstream place(trace.substr(trace.rfind("button: Forward ") + 16));
  int x = 0, y = 0, width = 0, height = 0;
  place >> x >> y >> width >> height;
  CommandOutput("xdotool mousemove --window " + window + " " + std::to_string(x + 20) + " " +
                std::to_string(y + 20) + " mousedown 1");
  EXPECT_TRUE(WaitForTrace("menu: Forward: y1500 | Start\n")) << Trace();
  std::this_thread::sleep_for(300ms);
  CommandOutput("xdotool mousemove --window " + window + " " + std::to_string(x + 20) + " " +
                std::to_string(y + height + 15) + " mouseup 1");
  EXPECT_FALSE(WaitForWindow("y[0-9]+").empty()) << Trace();
}

}  // namespace
}  // namespace tomelet::gui
