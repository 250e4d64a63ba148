#include <filesystem>

#include "main_window_fakes.h"

namespace tomelet::testing {
namespace {

// The main window started on a document whose options list open-outside masks.
class WindowNavigationTest : public MainWindowTest {
 protected:
  TForm1Logic& StartedWithMasks(const std::string& masks) {
    TProjectOptions options = FriendlyOptions();
    options.SetOpenOutsideMasks(masks);
    return Started(Document("manual.tlt", options));
  }

  bool Navigate(std::string url) {
    bool cancel = false;
    browser.Events.OnBeforeNavigate2(url, cancel);
    return cancel;
  }
};

TEST_F(WindowNavigationTest, MaskedLinkGoesToTheShellAndThePageStays) {
  StartedWithMasks("*.exe;*.pdf");
  EXPECT_TRUE(Navigate("tome://inpack/setup/tool.exe"));
  const auto expected = (std::filesystem::current_path() / "setup/tool.exe").string();
  EXPECT_EQ(shell.opened, (std::vector<std::string>{expected}));
  EXPECT_EQ(view.closed, 0);
}

TEST_F(WindowNavigationTest, UnmaskedLinkAndOutsidePagesLoad) {
  StartedWithMasks("*.exe;*.pdf");
  EXPECT_FALSE(Navigate("tome://inpack/setup/tool.htm"));
  EXPECT_FALSE(Navigate("https://example.org/"));
  EXPECT_FALSE(Navigate("about:closex"));
  EXPECT_TRUE(shell.opened.empty());
}

TEST_F(WindowNavigationTest, AboutCloseClosesTheMainWindow) {
  StartedWithMasks("");
  EXPECT_TRUE(Navigate("ABOUT:CLOSE"));
  EXPECT_EQ(view.closed, 1);
}

TEST_F(WindowNavigationTest, DocumentRootOpensTheRootFolder) {
  StartedWithMasks("");
  EXPECT_TRUE(Navigate("tome://inpack/"));
  EXPECT_EQ(shell.opened, (std::vector<std::string>{"/"}));
}

TEST_F(WindowNavigationTest, RefusalsAndBadMasksShowInTheStatusBarNotInABox) {
  StartedWithMasks("*;");
  EXPECT_TRUE(Navigate("tome://inpack/../outside.exe"));
  EXPECT_EQ(view.statusText, "Refused to open a file outside the current folder: ../outside.exe");
  StartedWithMasks("[;");
  EXPECT_TRUE(Navigate("tome://inpack/index.htm"));
  EXPECT_EQ(view.statusText, "'[' is an invalid mask at (1)");
  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_TRUE(shell.opened.empty());
}

TEST_F(WindowNavigationTest, BrowserReceivesTheSecurityManagerOnlyForItsOwnRequest) {
  TForm1Logic& logic = StartedWithMasks("");
  ComPtr<IUnknown> obj;
  browser.Events.OnQueryService(IID_IInternetSecurityManager, IID_IUnknown, obj);
  EXPECT_FALSE(obj);
  browser.Events.OnQueryService(IID_IInternetSecurityManager, IID_IInternetSecurityManager, obj);
  ASSERT_TRUE(obj);
  EXPECT_EQ(obj.Get(), static_cast<IUnknown*>(&logic.SecurityManager1));
  EXPECT_EQ(logic.SecurityManager1.UrlPolicy, TUrlPolicyOptions{});
}

}  // namespace
}  // namespace tomelet::testing
