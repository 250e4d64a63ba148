// The side pane in the real program, driven by the keyboard: F9 shows it, the Index filters as the
// reader types and opens the chosen keyword at its anchor, the Contents follow every page reached
// and every jump within a page, the Outline leads to a heading, and the pane comes back when the
// document is opened again. A document that does not allow Find has no pane.
#include "document/DocumentEntries.h"
#include "document/DocumentMap.h"
#include "viewer_process.h"

namespace tomelet::gui {
namespace {

std::map<std::string, std::string> MappedPages() {
  TDocumentMap map;
  map.Contents = {{"Start", "index.htm", "", {}},
                  {"Reference", "ref.htm", "", {{"Loading", "ref.htm", "json.loads", {}}}}};
  map.Keywords =
      TKeywordIndex({{"json.dumps", "ref.htm", "json.dumps", "Reference", TKeywordKind::Definition},
                     {"json.loads", "ref.htm", "json.loads", "Reference", TKeywordKind::Definition},
                     {"Reference", "ref.htm", "", "Reference", TKeywordKind::PageTitle}});
  return {{"index.htm", "<title>Start</title><h1>Start</h1><a href='ref.htm'>Reference</a>"},
          {"ref.htm",
           "<title>Reference</title><h1>Reference</h1><h2 id='json.dumps'>dumps</h2>"
           "<h2 id='json.loads'>loads</h2><div style='height:3000px'></div>"
           "<a href='#json.loads' style='position:fixed;left:0;right:0;bottom:0;height:40%'>"
           "to loads</a>"},
          {std::string(kMapEntry), WriteMapEntry(map)}};
}

using ViewerSidePaneTest = ViewerTest;

TEST_F(ViewerSidePaneTest, TheKeyboardFindsAKeywordFollowsThePagesAndThePaneIsRemembered) {
  const auto document = Document("manual.tlt", OpenOptions(), MappedPages());
  Start({document});
  auto window = WaitForWindow("Start");
  ASSERT_FALSE(window.empty()) << Trace();
  ASSERT_TRUE(WaitForTrace("complete: tome://inpack/index.htm")) << Trace();
  EXPECT_EQ(Trace().find("pane: shown"), std::string::npos) << "hidden on a first start";

  PressKeys(window, "F9");
  ASSERT_TRUE(WaitForTrace("pane: map 3 keywords")) << Trace();
  EXPECT_TRUE(WaitForTrace("contents: Start")) << Trace();

  PressKeys(window, "alt+i");
  Type(window, "load");
  ASSERT_TRUE(WaitForTrace("index: json.loads")) << Trace();
  PressKeys(window, "Return");
  EXPECT_TRUE(WaitForTrace("navigate: tome://inpack/ref.htm#json.loads")) << Trace();
  EXPECT_TRUE(WaitForTrace("contents: Loading")) << "the line with the anchor: " << Trace();
  EXPECT_TRUE(WaitForTrace("outline: 3 headings")) << Trace();

  PressKeys(window, "alt+o Down Return");
  EXPECT_TRUE(WaitForTrace("pane: open tome://inpack/ref.htm#json.dumps")) << Trace();
  EXPECT_TRUE(WaitForTrace("contents: Reference")) << "a jump within the page: " << Trace();

  // Esc in the pane gives the keyboard to the page instead of ending the program.
  PressKeys(window, "Escape");
  CommandOutput("xdotool mousemove --window " + window + " 470 400 click 1");
  EXPECT_TRUE(WaitUntil([&] { return Occurrences(Trace(), "contents: Loading") >= 2; }, 5s))
      << "a link of the page to an anchor on it: " << Trace();
  PressKeys(window, "alt+Home");
  EXPECT_TRUE(WaitUntil([&] { return Occurrences(Trace(), "contents: Start") >= 2; }, 5s))
      << "the contents follow the page reached by Home: " << Trace();
  ASSERT_EQ(WaitForExit(100ms), std::nullopt) << Trace();
  PressKeys(window, "Escape");
  ASSERT_EQ(WaitForExit(), 0) << Trace();

  std::filesystem::remove(trace_);
  Start({document});
  window = WaitForWindow("Start");
  ASSERT_FALSE(window.empty()) << Trace();
  EXPECT_TRUE(WaitForTrace("pane: shown")) << "shown again without F9: " << Trace();
  EXPECT_TRUE(WaitForTrace("contents: Start")) << Trace();
  // The map waits for the start page, which then has the processor to itself.
  const auto trace = Trace();
  EXPECT_LT(trace.find("complete: tome://inpack/index.htm"), trace.find("pane: map")) << trace;
  PressKeys(window, "F9");
  EXPECT_TRUE(WaitForTrace("pane: hidden")) << Trace();
}

TEST_F(ViewerSidePaneTest, ADocumentThatDoesNotAllowFindHasNoPane) {
  auto options = OpenOptions();
  options.SetBooleanAt(option_offset::AllowFind, false);
  Start({Document("manual.tlt", options, MappedPages())});
  const auto window = WaitForWindow("Start");
  ASSERT_FALSE(window.empty()) << Trace();
  ASSERT_TRUE(WaitForTrace("button: Exit ")) << Trace();
  PressKeys(window, "F9");
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(Trace().find("button: Contents "), std::string::npos) << Trace();
  EXPECT_EQ(Trace().find("pane: "), std::string::npos) << Trace();
}

}  // namespace
}  // namespace tomelet::gui
