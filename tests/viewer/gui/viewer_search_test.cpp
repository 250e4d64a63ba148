// The Search command in the real program, by keyboard alone: Ctrl+Shift+F, suggestions while
// typing, the results page and its own query field, a result opened at its anchor with the words
// marked until the next navigation or Esc, and Back to the results; and no command at all when the
// document does not allow Find.
#include <gdk/gdkx.h>

#include <algorithm>

#include "viewer_process.h"

namespace tomelet::gui {
namespace {

class ViewerSearchTest : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    environment_["XDG_CACHE_HOME"] = (folder_ / "cache").string();
  }

  std::string SearchableDocument(const TProjectOptions& options) {
    const std::string far = "<p style='margin-bottom:3000px'>Plain words.</p>";
    return Document("search.tlt", options,
                    {{"index.htm", "<html><title>Start</title><body><p>Welcome</p></body></html>"},
                     {"guide.htm", "<html><title>Opening Files</title><body><h1>Files</h1>" + far +
                                       "<h2 id='keys'>Keyboard shortcuts</h2>"
                                       "<p>Every keyboard command has a key.</p></body></html>"},
                     {"other.htm",
                      "<html><title>Printing</title><body><p>Paper and ink.</p>"
                      "</body></html>"}});
  }
};

TEST_F(ViewerSearchTest, ByKeyboardFromTheQueryToTheMarkedPageAndBackToTheResults) {
  Start({SearchableDocument(OpenOptions())});
  const auto window = WaitForWindow("Start");
  ASSERT_FALSE(window.empty()) << Trace();
  EXPECT_TRUE(WaitForTrace("button: Search ")) << "the button stands beside Find: " << Trace();

  PressKeys(window, "ctrl+shift+f");
  ASSERT_TRUE(WaitForTrace("search: shown")) << Trace();
  PressKeys(window, "Escape");
  ASSERT_TRUE(WaitForTrace("search: closed")) << Trace();
  EXPECT_FALSE(WaitForExit(300ms).has_value()) << "Esc closes the bar only";

  // The document carries no index: the first search builds one while the page shows progress.
  PressKeys(window, "ctrl+shift+f");
  Type(window, "keyboard key");
  PressKeys(window, "Return");
  ASSERT_TRUE(WaitForTrace("title: Search: keyboard key", 30s)) << Trace();
  EXPECT_TRUE(WaitForTrace("complete: tome://search/?q=keyboard%20key")) << Trace();
  EXPECT_TRUE(std::filesystem::exists(folder_ / "cache" / "tomelet")) << Trace();

  PressKeys(window, "Tab Return");
  EXPECT_TRUE(WaitForTrace("complete: tome://inpack/guide.htm#keys")) << Trace();
  EXPECT_TRUE(WaitForTrace("title: Opening Files")) << Trace();
  EXPECT_TRUE(WaitForTrace("search: highlighted 3"))
      << "both places of \"keyboard\" and the one word \"key\", not the start of \"Keyboard\": "
      << Trace();

  const auto resultsShown = Count("title: Search: keyboard key");
  PressKeys(window, "alt+Left");
  EXPECT_TRUE(WaitForMore("title: Search: keyboard key", resultsShown))
      << "Back returns to the results: " << Trace();

  PressKeys(window, "ctrl+shift+f");
  Type(window, "prin");
  EXPECT_TRUE(WaitForTrace("search: suggestions: Printing")) << Trace();
  // A reader looks at the list before choosing; moving the focus to the window again would close
  // it, so the keys go straight on.
  std::this_thread::sleep_for(500ms);
  CommandOutput("xdotool key --clearmodifiers Down Return");
  EXPECT_TRUE(WaitForTrace("complete: tome://inpack/other.htm")) << Trace();
  EXPECT_TRUE(WaitForTrace("title: Printing")) << Trace();
}

// What the screen shows in the middle of the window: pixels of a hue (a mark) and dark pixels
// (the page's black letters).
struct TCentre {
  int Coloured = 0;
  int Dark = 0;
};

TCentre ShownAtCentre(const std::string& window) {
  static const bool connected = gdk_init_check(nullptr, nullptr);
  TCentre centre;
  GdkWindow* shown = connected ? gdk_x11_window_foreign_new_for_display(gdk_display_get_default(),
                                                                        std::stoul(window))
                               : nullptr;
  if (!shown)
    return centre;
  GdkPixbuf* picture = gdk_pixbuf_get_from_window(shown, gdk_window_get_width(shown) / 2 - 60,
                                                  gdk_window_get_height(shown) / 2 - 30, 120, 60);
  g_object_unref(shown);
  if (!picture)
    return centre;
  const int channels = gdk_pixbuf_get_n_channels(picture);
  const int stride = gdk_pixbuf_get_rowstride(picture);
  const guchar* pixels = gdk_pixbuf_get_pixels(picture);
  for (int y = 0; y < gdk_pixbuf_get_height(picture); ++y)
    for (int x = 0; x < gdk_pixbuf_get_width(picture); ++x) {
      const guchar* pixel = pixels + y * stride + x * channels;
      const int high = std::max({pixel[0], pixel[1], pixel[2]});
      const int low = std::min({pixel[0], pixel[1], pixel[2]});
      centre.Coloured += high - low > 48 ? 1 : 0;
      centre.Dark += high < 96 ? 1 : 0;
    }
  g_object_unref(picture);
  return centre;
}

// The page shows "dict" in large letters in the middle of the window, the other words below.
TEST_F(ViewerSearchTest, TheQueryIsRefinedOnTheResultsPageAndItsMarksGoWithTheNextMoveOrEsc) {
  Start({Document("marks.tlt", OpenOptions(),
                  {{"index.htm", "<html><title>Start</title><body><p>Welcome</p></body></html>"},
                   {"dict.htm",
                    "<html><title>Mappings</title><body style='margin:0'><p style='margin:0;"
                    "padding-top:calc(50vh - 60px);text-align:center;font:bold 120px/1 monospace'>"
                    "dict</p><p>Every Dict maps keys, as a dictionary does.</p></body></html>"}})});
  const auto window = WaitForWindow("Start");
  ASSERT_FALSE(window.empty()) << Trace();
  PressKeys(window, "ctrl+shift+f");
  Type(window, "dictionary");
  PressKeys(window, "Return");
  ASSERT_TRUE(WaitForTrace("complete: tome://search/?q=dictionary\n", 30s)) << Trace();

  // The query field is the last stop of the keyboard on the page.
  PressKeys(window, "shift+Tab ctrl+a");
  Type(window, "dict");
  PressKeys(window, "Return");
  ASSERT_TRUE(WaitForTrace("complete: tome://search/?q=dict\n")) << Trace();
  EXPECT_TRUE(WaitForTrace("title: Search: dict\n")) << Trace();

  const auto marked = [&] { return ShownAtCentre(window).Coloured > 200; };
  // The page is there, its letters unmarked.
  const auto unmarked = [&] {
    const auto centre = ShownAtCentre(window);
    return centre.Coloured == 0 && centre.Dark > 300;
  };
  PressKeys(window, "Tab Return");
  ASSERT_TRUE(WaitForTrace("complete: tome://inpack/dict.htm")) << Trace();
  EXPECT_TRUE(WaitForTrace("search: highlighted 2"))
      << "\"dict\" and \"Dict\", nothing inside \"dictionary\": " << Trace();
  EXPECT_TRUE(WaitUntil(marked, 4s)) << Trace();

  // Back and Forward again: the page comes back without its marks.
  auto results = Count("title: Search: dict\n");
  PressKeys(window, "alt+Left");
  EXPECT_TRUE(WaitForMore("title: Search: dict\n", results)) << Trace();
  const auto shown = Count("complete: tome://inpack/dict.htm");
  PressKeys(window, "alt+Right");
  EXPECT_TRUE(WaitForMore("complete: tome://inpack/dict.htm", shown)) << Trace();
  EXPECT_TRUE(WaitUntil(unmarked, 4s)) << Trace();
  EXPECT_EQ(Count("search: marks cleared"), 1u) << Trace();

  // Back would give the keyboard to the result followed last, so the results come afresh. Their
  // title may come while the page is still read in; a reader presses Tab once the results show.
  results = Count("title: Search: dict\n");
  const auto loaded = Count("complete: tome://search/?q=dict\n");
  PressKeys(window, "ctrl+shift+f");
  Type(window, "dict");
  PressKeys(window, "Return");
  EXPECT_TRUE(WaitForMore("title: Search: dict\n", results)) << Trace();
  EXPECT_TRUE(WaitForMore("complete: tome://search/?q=dict\n", loaded)) << Trace();
  PressKeys(window, "Tab Return");
  EXPECT_TRUE(WaitUntil([&] { return Count("search: highlighted 2") == 2; }, 8s)) << Trace();
  EXPECT_TRUE(WaitUntil(marked, 4s)) << Trace();
  PressKeys(window, "Escape");
  EXPECT_TRUE(WaitUntil(unmarked, 4s)) << Trace();
  EXPECT_EQ(Count("search: marks cleared"), 2u) << Trace();
  EXPECT_FALSE(WaitForExit(300ms).has_value()) << "Esc takes the marks away only";
  PressKeys(window, "Escape");
  EXPECT_EQ(WaitForExit(), 0) << "without marks Esc ends the program as before";
}

TEST_F(ViewerSearchTest, ThereIsNoSearchWhenTheDocumentDoesNotAllowFind) {
  auto options = OpenOptions();
  options.SetBooleanAt(option_offset::AllowFind, false);
  Start({SearchableDocument(options)});
  const auto window = WaitForWindow("Start");
  ASSERT_FALSE(window.empty()) << Trace();
  ASSERT_TRUE(WaitForTrace("button: Print ")) << Trace();
  PressKeys(window, "ctrl+shift+f");
  EXPECT_FALSE(WaitForTrace("search: shown", 1s)) << Trace();
  EXPECT_EQ(Trace().find("button: Search "), std::string::npos) << Trace();
  EXPECT_FALSE(std::filesystem::exists(folder_ / "cache" / "tomelet"));
}

}  // namespace
}  // namespace tomelet::gui
