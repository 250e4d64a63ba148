// The reader's everyday habits in the real program: the keyboard reads the page from the start,
// after each page and after reopening.
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

// The scroll position of the latest title "y<pixels>", -1 before the first.
int LastScroll(const std::string& trace) {
  const auto at = trace.rfind("title: y");
  return at == std::string::npos ? -1 : std::atoi(trace.c_str() + at + 8);
}

using ViewerReadingHabitsTest = ViewerTest;

TEST_F(ViewerReadingHabitsTest, TheKeyboardReadsThePageAtStartAfterEachPageAndAfterReopening) {
  const auto document =
      Document("manual.tlt", OpenOptions(), {{"index.htm", kLongPage}, {"form.htm", kFormPage}});
  Start({document});
  auto window = WaitForWindow("y0");
  ASSERT_FALSE(window.empty()) << Trace();
  PressKeys(window, "Next");
  ASSERT_TRUE(WaitUntil([&] { return LastScroll(Trace()) > 0; }, 4s)) << Trace();
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

}  // namespace
}  // namespace tomelet::gui
