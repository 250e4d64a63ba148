// Where the real viewer's navigations go: masked files to the shell, the document root to the
// root folder, "about:close" to the end of the program; and what the page may not do.
#include "viewer_process.h"

namespace tomelet::gui {
namespace {

// A start page that follows its link after a moment, so the navigation runs as a click would.
std::string FollowingPage(const std::string& href) {
  return "<html><head><title>Index</title></head><body>"
         "<a id=\"go\" href=\"" +
         href +
         "\">go</a><script>setTimeout(function () {"
         "document.getElementById('go').click(); }, 300);</script></body></html>";
}

// A start page that names every key it receives in its title.
constexpr const char* kKeyPage =
    "<html><head><title>Keys</title></head><body style=\"height:2000px\">"
    "<script>document.addEventListener('keydown', function (e) {"
    "document.title = 'key ' + (e.ctrlKey ? 'ctrl+' : '') + (e.shiftKey ? 'shift+' : '') +"
    " e.key.toLowerCase(); });</script></body></html>";

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

TEST_F(ViewerNavigationTest, MaskedLinkAsksTheShellForTheFileBelowTheCurrentFolder) {
  StartOn({{"index.htm", FollowingPage("setup/tool.exe")}}, "*.exe;*.pdf");
  const auto expected = (std::filesystem::current_path() / "setup/tool.exe").string();
  ASSERT_TRUE(WaitForTrace("shell: " + expected)) << Trace();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Trace().find("complete: tome://inpack/setup/tool.exe"), std::string::npos);
  EXPECT_FALSE(WaitForWindow("Index").empty()) << "the page stays";
}

TEST_F(ViewerNavigationTest, UnmaskedLinkLoadsFromTheArchive) {
  StartOn({{"index.htm", FollowingPage("guide/page.htm")}}, "*.exe;*.pdf");
  EXPECT_TRUE(WaitForTrace("title: Guide")) << Trace();
  EXPECT_EQ(Trace().find("shell: "), std::string::npos);
}

TEST_F(ViewerNavigationTest, DocumentRootOpensTheRootFolder) {
  StartOn({{"index.htm", FollowingPage("tome://inpack/")}});
  EXPECT_TRUE(WaitForTrace("shell: /\n")) << Trace();
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
  StartOn({{"index.htm", kKeyPage}});
  const auto window = WaitForWindow("Keys");
  ASSERT_FALSE(window.empty());
  ClickInPage(window, 3);
  std::this_thread::sleep_for(500ms);
  // Only our menu ends with Exit: choosing its last item ends the program.
  CommandOutput("xdotool key Up");
  std::this_thread::sleep_for(200ms);
  CommandOutput("xdotool key Return");
  EXPECT_EQ(WaitForExit(), 0);
}

TEST_F(ViewerNavigationTest, CtrlNNeverReachesThePage) {
  StartOn({{"index.htm", kKeyPage}});
  const auto window = WaitForWindow("Keys");
  ASSERT_FALSE(window.empty());
  ClickInPage(window, 1);
  PressKeys(window, "ctrl+n");
  PressKeys(window, "ctrl+shift+n");
  EXPECT_TRUE(WaitForTrace("title: key ctrl+shift+n")) << Trace();
  PressKeys(window, "n");
  EXPECT_TRUE(WaitForTrace("title: key n")) << Trace();
  EXPECT_EQ(Trace().find("title: key ctrl+n"), std::string::npos);
  EXPECT_EQ(CommandOutput("xdotool search --onlyvisible --pid " + std::to_string(pid_) +
                          " --name . | wc -l"),
            "1")
      << "no new window";
}

}  // namespace
}  // namespace tomelet::gui
