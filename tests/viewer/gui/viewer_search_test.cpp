// The Search command in the real program, by keyboard alone: Ctrl+Shift+F, suggestions while
// typing, the results page, a result opened at its anchor with the words marked, and Back to the
// results; and no command at all when the document does not allow Find.
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

  std::size_t Count(const std::string& line) const {
    std::size_t count = 0;
    const auto trace = Trace();
    for (auto at = trace.find(line); at != std::string::npos; at = trace.find(line, at + 1))
      ++count;
    return count;
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
  EXPECT_TRUE(WaitUntil([&] { return Count("title: Search: keyboard key") > resultsShown; }, 8s))
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
