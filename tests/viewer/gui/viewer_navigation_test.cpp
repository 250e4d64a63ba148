// Where the real viewer's navigations go: masked files to the shell, the document root to the
// root folder, "about:close" to the end of the program; and whose menu a right-click shows.
#include "viewer_process.h"

namespace tomelet::gui {
namespace {

// A start page that follows its links one after the other, as clicks would.
std::string FollowingPage(const std::string& href, const std::string& then = "") {
  return "<html><head><title>Index</title></head><body><a id=\"a\" href=\"" + href +
         "\">a</a><a id=\"b\" href=\"" + then +
         "\">b</a><script>setTimeout(function () { document.getElementById('a').click(); }, 300);" +
         (then.empty()
              ? ""
              : "setTimeout(function () { document.getElementById('b').click(); }, 600);") +
         "</script></body></html>";
}

class ViewerNavigationTest : public ViewerTest {
 protected:
  // Starts the viewer on a document whose start page is index.htm.
  void StartOn(std::map<std::string, std::string> pages, const std::string& masks = "") {
    TProjectOptions options = OpenOptions();
    options.SetOpenOutsideMasks(masks);
    pages.emplace("guide\\page.htm",
                  "<html><head><title>Guide</title></head><body>From the archive</body></html>");
    Start({Document("manual.tlt", options, std::move(pages))});
    ASSERT_TRUE(WaitForTrace("complete: tome://inpack/index.htm"));
  }

  // Clicks a mouse button in the middle of the page.
  void ClickInPage(const std::string& window, int button) {
    CommandOutput("xdotool windowfocus --sync " + window + " mousemove --window " + window +
                  " 320 240 click " + std::to_string(button));
  }
};

// Two links one above the other, with room for a click on the page itself below them.
std::string ReadersLinksPage(const std::string& upper, const std::string& lower) {
  const std::string style = "style=\"display:block;height:150px\"";
  return "<html><head><title>Index</title></head><body style=\"margin:0\"><a " + style +
         " href=\"" + upper + "\">upper</a><a " + style + " target=\"_blank\" href=\"" + lower +
         "\">lower</a></body></html>";
}

TEST_F(ViewerNavigationTest, MaskedLinksTheReaderFollowsGoToTheShellAndThePageStays) {
  StartOn({{"index.htm", ReadersLinksPage("setup/tool.exe", "docs/manual.pdf")}}, "*.exe;*.pdf");
  const auto window = WaitForWindow("Index");
  ASSERT_FALSE(window.empty());
  const auto tool = "shell: " + (std::filesystem::current_path() / "setup/tool.exe").string();
  const auto click = [&](int y) {
    CommandOutput("xdotool mousemove --window " + window + " 320 " + std::to_string(y) +
                  " click 1");
  };
  click(420);
  PressKeys(window, "Tab Return");
  EXPECT_TRUE(WaitForTrace(tool + "\n")) << "the first link, chosen with keys";
  click(280);
  const auto manual = (std::filesystem::current_path() / "docs/manual.pdf").string();
  EXPECT_TRUE(WaitForTrace("shell: " + manual + "\n")) << "a new window the reader opened";
  click(100);
  EXPECT_TRUE(WaitUntil([&] { return Occurrences(Trace(), tool + "\n") == 2; }, 8s)) << Trace();
  EXPECT_EQ(Trace().find("complete: tome://inpack/setup"), std::string::npos);
  EXPECT_FALSE(WaitForWindow("Index").empty()) << "the page stays";
}

// Without the reader's click or key nothing of the current folder may run: not from the start
// page, a script's click, a redirect or a window a script opens.
TEST_F(ViewerNavigationTest, MaskedFilesThePageReachesOnItsOwnStayClosed) {
  const std::string refusal = "status: Refused to open a file without a click or a key: ";
  TProjectOptions options = OpenOptions("setup/tool.exe");
  options.SetOpenOutsideMasks("*.exe;");
  Start({Document("first.tlt", options)});
  EXPECT_TRUE(WaitForTrace(refusal + "setup/tool.exe\n")) << Trace();
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = 0;

  StartOn({{"index.htm",
            FollowingPage("clicked.exe") +
                "<script>setTimeout(function () { window.open('opened.exe'); }, 500);"
                "setTimeout(function () { location.href = 'moved.exe'; }, 800);</script>"}},
          "*.exe;");
  for (const char* file : {"clicked.exe", "opened.exe", "moved.exe"})
    EXPECT_TRUE(WaitForTrace(refusal + file + "\n")) << Trace();
  EXPECT_EQ(Trace().find("shell: "), std::string::npos) << Trace();
}

TEST_F(ViewerNavigationTest, TheDocumentRootOpensTheRootFolder) {
  StartOn({{"index.htm", FollowingPage("tome://inpack/")}});
  EXPECT_TRUE(WaitForTrace("shell: /\n")) << Trace();
  EXPECT_FALSE(WaitForWindow("Index").empty()) << "the page stays";
}

TEST_F(ViewerNavigationTest, UnmaskedLinkLoadsFromTheArchive) {
  StartOn({{"index.htm", FollowingPage("guide/page.htm")}}, "*.exe;*.pdf");
  EXPECT_TRUE(WaitForTrace("title: Guide")) << Trace();
  EXPECT_EQ(Trace().find("shell: "), std::string::npos);
}

// Site generators link their pages as folders: "guide/" shows the folder's index page, as a web
// page, and its relative addresses resolve inside the folder.
TEST_F(ViewerNavigationTest, AFolderLinkShowsTheFolderIndexPage) {
  const std::string folderPage =
      "<html><head><title>Folder</title><script>fetch('page.htm').then(r => r.text())"
      ".then(t => { document.title = 'folder ' + t.includes('From the archive'); });"
      "</script></head><body></body></html>";
  StartOn({{"index.htm", FollowingPage("guide/")}, {"guide\\index.html", folderPage}});
  EXPECT_TRUE(WaitForTrace("complete: tome://inpack/guide/\n")) << Trace();
  EXPECT_TRUE(WaitForTrace("title: folder true")) << Trace();
}

// Entries above the size held whole reach the engine piece by piece; every byte must arrive.
TEST_F(ViewerNavigationTest, APageReadsAnEntryTooLargeToBeHeldWhole) {
  std::string large;
  for (int line = 0; large.size() < (std::size_t{17} << 20); ++line)
    large += "line " + std::to_string(line) + "\n";
  large += "end";
  const std::string reader =
      "<html><head><title>Reading</title><script>fetch('large.txt').then(r => r.text())"
      ".then(t => { document.title = 'read ' + t.length + ' ' + t.endsWith('\\nend'); });"
      "</script></head><body></body></html>";
  StartOn({{"index.htm", reader}, {"large.txt", large}});
  EXPECT_TRUE(WaitForTrace("title: read " + std::to_string(large.size()) + " true", 20s))
      << Trace();
}

TEST_F(ViewerNavigationTest, AboutCloseInCapitalsEndsTheProgram) {
  StartOn({{"index.htm", FollowingPage("ABOUT:CLOSE")}});
  EXPECT_EQ(WaitForExit(), 0);
}

TEST_F(ViewerNavigationTest, AboutCloseWithMoreBehindItDoesNot) {
  StartOn({{"index.htm", FollowingPage("about:closex")}});
  EXPECT_FALSE(WaitForExit(1500ms));
}

TEST_F(ViewerNavigationTest, WindowCloseFromThePageEndsTheProgram) {
  StartOn({{"index.htm",
            "<html><head><title>Index</title></head><body><script>"
            "setTimeout(function () { window.close(); }, 300);</script></body></html>"}});
  EXPECT_EQ(WaitForExit(), 0);
}

TEST_F(ViewerNavigationTest, RightClickShowsTheViewersMenu) {
  StartOn({{"index.htm", "<html><head><title>Index</title></head><body>Page</body></html>"}});
  const auto window = WaitForWindow("Index");
  ASSERT_FALSE(window.empty());
  ClickInPage(window, 3);
  std::this_thread::sleep_for(500ms);
  // Only our menu ends with Exit: choosing its last item ends the program.
  CommandOutput("xdotool key Up");
  std::this_thread::sleep_for(200ms);
  CommandOutput("xdotool key Return");
  EXPECT_EQ(WaitForExit(), 0);
}

}  // namespace
}  // namespace tomelet::gui
