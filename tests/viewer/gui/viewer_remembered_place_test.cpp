// A document opened again in the real program comes back at the page, scroll position and text
// size the reader left it at.
#include "viewer_process.h"

namespace tomelet::gui {
namespace {

// The start page sends the first visit on to the long page, which then scrolls itself once; the
// long page reports its scroll position and the height of its text in its title.
constexpr const char* kStartPage =
    "<title>Start</title><script>sessionStorage.scrollOnce = 1; location.href = 'long.htm';"
    "</script>";
constexpr const char* kLongPage =
    "<title>Long</title><span id=t>Text</span><div style='height:5000px'></div><script>"
    "if (sessionStorage.scrollOnce) { delete sessionStorage.scrollOnce; scrollTo(0, 1500); }"
    "setInterval(() => document.title = 'y' + Math.round(scrollY) + ' h' + t.offsetHeight, 100)"
    "</script>";

std::string LastTitle(const std::string& trace) {
  const auto at = trace.rfind("title: ");
  return at == std::string::npos ? "" : trace.substr(at + 7, trace.find('\n', at) - at - 7);
}

int TextHeight(const std::string& title) {
  const auto at = title.find(" h");
  return at == std::string::npos ? 0 : std::atoi(title.c_str() + at + 2);
}

using ViewerRememberedPlaceTest = ViewerTest;

TEST_F(ViewerRememberedPlaceTest, ADocumentOpenedAgainShowsTheRememberedPageAndTextSize) {
  const auto document =
      Document("manual.tlt", OpenOptions(), {{"index.htm", kStartPage}, {"long.htm", kLongPage}});
  Start({document});
  auto window = WaitForWindow("y1500 h[0-9]+");
  ASSERT_FALSE(window.empty()) << Trace();
  const int medium = TextHeight(LastTitle(Trace()));
  PressKeys(window, "ctrl+plus");
  ASSERT_TRUE(WaitUntil([&] { return TextHeight(LastTitle(Trace())) > medium; }, 4s)) << Trace();
  // The text at the top of the view stays in place, so the scroll position follows the size.
  std::this_thread::sleep_for(300ms);
  const std::string left = LastTitle(Trace());
  ASSERT_GT(TextHeight(left), medium);
  PressKeys(window, "Escape");
  ASSERT_EQ(WaitForExit(), 0);

  std::filesystem::remove(trace_);
  Start({document});
  window = WaitForWindow(left);
  EXPECT_FALSE(window.empty()) << Trace();
  const auto trace = Trace();
  const auto first = trace.find("navigate: ");
  ASSERT_NE(first, std::string::npos) << trace;
  EXPECT_EQ(trace.substr(first, trace.find('\n', first) - first),
            "navigate: tome://inpack/long.htm")
      << trace;
}

}  // namespace
}  // namespace tomelet::gui
