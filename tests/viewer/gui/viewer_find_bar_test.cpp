// The find bar in the real program: its count while the reader steps through the matches with
// Enter and Shift+Enter, Esc, which closes the bar before it would end the program, and where a
// find starts: at the top of what the reader sees, again when Match case changes.
#include "viewer_process.h"

namespace tomelet::gui {
namespace {

using ViewerFindBarTest = ViewerTest;

TEST_F(ViewerFindBarTest, CountsStayRightWhileSteppingAndEscClosesTheBarFirst) {
  std::string page = "<title>Find</title>";
  for (int i = 1; i <= 4; ++i)
    page += "<p style='margin-bottom:600px'>Needle " + std::to_string(i) + "</p>";
  Start({Document("find.tlt", OpenOptions(), {{"index.htm", page}})});
  const auto window = WaitForWindow("Find");
  ASSERT_FALSE(window.empty()) << Trace();

  PressKeys(window, "ctrl+f");
  ASSERT_TRUE(WaitForTrace("find: shown")) << Trace();
  Type(window, "needle");
  EXPECT_TRUE(WaitForTrace("find: 1 of 4")) << Trace();
  PressKeys(window, "Return");
  EXPECT_TRUE(WaitForTrace("find: 2 of 4")) << Trace();
  PressKeys(window, "Return Return");
  EXPECT_TRUE(WaitForTrace("find: 4 of 4")) << Trace();
  PressKeys(window, "Return");
  EXPECT_TRUE(
      WaitUntil([&] { return Trace().rfind("find: 1 of 4") > Trace().find("find: 4 of 4"); }, 5s))
      << "Enter wraps to the first match: " << Trace();
  PressKeys(window, "shift+Return");
  EXPECT_TRUE(
      WaitUntil([&] { return Trace().rfind("find: 4 of 4") > Trace().rfind("find: 1 of 4"); }, 5s))
      << "Shift+Enter wraps back to the last: " << Trace();

  PressKeys(window, "Escape");
  EXPECT_TRUE(WaitForTrace("find: closed")) << Trace();
  EXPECT_FALSE(WaitForExit(500ms).has_value()) << "Esc closes the bar only";
  PressKeys(window, "Escape");
  EXPECT_EQ(WaitForExit(), 0);
}

// The page reports how far it is scrolled, which says which match the view shows.
TEST_F(ViewerFindBarTest, TickingMatchCaseMovesToAMatchUnderTheNewRule) {
  Start(
      {Document("case.tlt", OpenOptions(),
                {{"index.htm",
                  "<title>Case</title><p>Word</p><p style='margin-top:3000px'>word</p>"
                  "<script>setInterval(() => document.title = 'at ' + scrollY, 100)</script>"}})});
  const auto window = WaitForWindow("at 0");
  ASSERT_FALSE(window.empty()) << Trace();
  PressKeys(window, "ctrl+f");
  ASSERT_TRUE(WaitForTrace("find: shown")) << Trace();
  const auto scrolled = [&] {
    const auto trace = Trace();
    const auto at = trace.rfind("title: at ");
    return at == std::string::npos ? -1 : std::atoi(trace.c_str() + at + 10);
  };
  Type(window, "Word");
  ASSERT_TRUE(WaitForTrace("find: 1 of 2")) << Trace();
  PressKeys(window, "Return");
  ASSERT_TRUE(WaitForTrace("find: 2 of 2")) << Trace();
  ASSERT_TRUE(WaitUntil([&] { return scrolled() > 1000; }, 4s)) << Trace();
  PressKeys(window, "Tab Tab Tab space");
  EXPECT_TRUE(WaitForTrace("find: 1 of 1")) << Trace();
  EXPECT_TRUE(WaitUntil([&] { return scrolled() < 1000; }, 4s))
      << "the view leaves the match that no longer counts\n"
      << Trace();
}

// "word" at the top and far below, "Word" between them; the page opens scrolled past the first.
TEST_F(ViewerFindBarTest, FindStartsAtTheTopOfTheViewAndMatchCaseFindsAgainFromThere) {
  Start({Document("view.tlt", OpenOptions(),
                  {{"index.htm",
                    "<title>View</title><p>word</p><p style='margin-top:3000px'>Word</p>"
                    "<p style='margin:6000px 0 1000px'>word</p><script>scrollTo(0, 2000);"
                    "setInterval(() => document.title = 'at ' + scrollY, 100)</script>"}})});
  const auto window = WaitForWindow("at 2000");
  ASSERT_FALSE(window.empty()) << Trace();
  const auto scrolled = [&] {
    const auto trace = Trace();
    const auto at = trace.rfind("title: at ");
    return at == std::string::npos ? -1 : std::atoi(trace.c_str() + at + 10);
  };
  PressKeys(window, "ctrl+f");
  ASSERT_TRUE(WaitForTrace("find: shown")) << Trace();
  Type(window, "word");
  EXPECT_TRUE(WaitForTrace("find: 2 of 3"))
      << "the first match above the view is passed: " << Trace();
  EXPECT_TRUE(WaitUntil([&] { return scrolled() > 2500 && scrolled() < 3200; }, 4s)) << Trace();

  PressKeys(window, "Tab Tab Tab space");
  EXPECT_TRUE(WaitForTrace("find: 2 of 2")) << "\"Word\" no longer counts: " << Trace();
  EXPECT_TRUE(WaitUntil([&] { return scrolled() > 8000; }, 4s))
      << "the view moves to the next \"word\": " << Trace();
  PressKeys(window, "space");
  EXPECT_TRUE(WaitForTrace("find: 3 of 3")) << "the view's own match again: " << Trace();
  EXPECT_TRUE(WaitUntil([&] { return scrolled() > 8000; }, 4s)) << Trace();
}

}  // namespace
}  // namespace tomelet::gui
