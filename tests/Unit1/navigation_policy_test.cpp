#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SecurityManager/SecurityManager.h"
#include "Unit1/NavigationPolicy.h"

namespace tomelet {
namespace {

using Opened = std::vector<std::string>;

class RecordingShell final : public IShell {
 public:
  void Open(const std::string& pathOrUri) override { opened.push_back(pathOrUri); }
  Opened opened;
};

class NavigationPolicyTest : public ::testing::Test {
 protected:
  // Navigates as the reader's click would; answers the decision and leaves the possibly
  // rewritten URL in url.
  TNavigationDecision Navigate(const std::string& target, const std::string& masks = "*.exe;",
                               TNavigationCause cause = TNavigationCause::ReaderAction) {
    options.SetOpenOutsideMasks(masks);
    url = target;
    return policy.BeforeNavigate2(url, cause);
  }
  bool Loads(const std::string& target, const std::string& masks = "*.exe;") {
    const TNavigationDecision decision = Navigate(target, masks);
    return !decision.Cancel && !decision.CloseMainWindow && url == target;
  }

  TProjectOptions options;
  RecordingShell shell;
  TNavigationPolicy policy{options, shell, [] { return std::filesystem::path("/home/u/docs"); }};
  std::string url;
};

TEST_F(NavigationPolicyTest, DocumentRootOpensTheRootFolderOnlyWhenWrittenExactly) {
  EXPECT_TRUE(Navigate("tome://inpack/").Cancel);
  EXPECT_TRUE(Navigate("tome://inpack//").Cancel);
  EXPECT_TRUE(Loads("TOME://INPACK/"));
  EXPECT_TRUE(Loads("tome://inpack///"));
  EXPECT_EQ(shell.opened, (Opened{"/", "/"}));
}

TEST_F(NavigationPolicyTest, AboutCloseInAnyCaseClosesAndNothingElseOutsideDoes) {
  for (const char* close : {"about:close", "ABOUT:CLOSE", "About:Close"}) {
    const TNavigationDecision decision = Navigate(close);
    EXPECT_TRUE(decision.Cancel && decision.CloseMainWindow) << close;
  }
  for (const char* other : {"about:closex", "about:blank", "https://example.org/a.exe"})
    EXPECT_TRUE(Loads(other, "*")) << other;
  EXPECT_EQ(options.OpenOutsideMasks(), "*") << "outside pages never touch the mask list";
  EXPECT_TRUE(shell.opened.empty());
}

TEST_F(NavigationPolicyTest, MatchingLinkOpensTheFileBelowTheCurrentFolder) {
  const TNavigationDecision decision = Navigate("TOME://INPACK/setup/tool.exe", "*.pdf;*.EXE;");
  EXPECT_TRUE(decision.Cancel);
  EXPECT_FALSE(decision.StatusText);
  EXPECT_EQ(url, "setup/tool.exe");
  EXPECT_TRUE(Navigate("tome://inpack/docs/read%20me.pdf?page=2#top", "*.pdf*;").Cancel);
  EXPECT_EQ(shell.opened,
            (Opened{"/home/u/docs/setup/tool.exe", "/home/u/docs/docs/read%20me.pdf?page=2#top"}));
  EXPECT_TRUE(Loads("tome://inpack/setup/tool.exe.htm", "*.pdf;*.EXE;"));
}

// A start page, a script or a redirect reaching a masked file must not run it on the reader's
// machine; the page stays and the status bar says why. Other navigations do not care who began.
TEST_F(NavigationPolicyTest, OnlyTheReadersOwnNavigationHandsAMaskedFileOver) {
  const TNavigationDecision unasked =
      Navigate("tome://inpack/setup/tool.exe", "*.exe;", TNavigationCause::Other);
  EXPECT_TRUE(unasked.Cancel);
  EXPECT_FALSE(unasked.CloseMainWindow);
  EXPECT_EQ(unasked.StatusText, std::string(kUnaskedOpenRefusal) + "setup/tool.exe");
  EXPECT_TRUE(shell.opened.empty());

  EXPECT_TRUE(Navigate("tome://inpack/setup/tool.exe", "*.exe;").Cancel);
  EXPECT_EQ(shell.opened, (Opened{"/home/u/docs/setup/tool.exe"}));

  EXPECT_FALSE(Navigate("tome://inpack/guide.htm", "*.exe;", TNavigationCause::Other).Cancel);
  EXPECT_TRUE(Navigate("about:close", "*.exe;", TNavigationCause::Other).CloseMainWindow);
  const TNavigationDecision outside =
      Navigate("tome://inpack/../x.exe", "*.exe;", TNavigationCause::Other);
  EXPECT_EQ(outside.StatusText, std::string(kOutsideFolderRefusal) + "../x.exe");
  EXPECT_EQ(shell.opened.size(), 1u);
}

TEST_F(NavigationPolicyTest, MaskListGainsItsFinalSemicolonOnceWithinTheLengthLimit) {
  EXPECT_TRUE(Loads("tome://inpack/tool.exe", ""));
  EXPECT_EQ(options.OpenOutsideMasks(), ";") << "an empty list matches nothing";
  EXPECT_TRUE(Navigate("tome://inpack/manual.pdf", "*.exe;*.pdf").Cancel);
  EXPECT_EQ(options.OpenOutsideMasks(), "*.exe;*.pdf;");
  const std::string full = std::string(249, 'x') + ";*.pdf";
  EXPECT_TRUE(Loads("tome://inpack/manual.pdf", full)) << "its last mask is never tested";
  EXPECT_EQ(options.OpenOutsideMasks(), full);
}

TEST_F(NavigationPolicyTest, InvalidMaskCancelsWithItsMessageUnlessAnEarlierMaskMatched) {
  const TNavigationDecision decision = Navigate("tome://inpack/tool.exe", "*.htm[;*.exe;");
  EXPECT_TRUE(decision.Cancel);
  EXPECT_EQ(decision.StatusText, "'*.htm[' is an invalid mask at (6)");
  EXPECT_TRUE(shell.opened.empty());
  EXPECT_FALSE(Navigate("tome://inpack/tool.exe", "*.exe;[broken;").StatusText);
  EXPECT_EQ(shell.opened.size(), 1u);
}

TEST_F(NavigationPolicyTest, FilesOutsideTheCurrentFolderAreRefused) {
  for (const char* climbing : {"tome://inpack/setup/../../secret.exe", "tome://inpack/..",
                               "TOME://INPACK/%2e%2e/x.exe", "tome://inpack/%2Fetc/passwd",
                               "tome://inpack///etc/passwd", "tome://inpack/x.exe?a=/../../y"}) {
    const TNavigationDecision decision = Navigate(climbing, "*;");
    EXPECT_TRUE(decision.Cancel) << climbing;
    EXPECT_EQ(decision.StatusText, std::string(kOutsideFolderRefusal) + url);
  }
  EXPECT_TRUE(shell.opened.empty());
  for (const char* below : {"tome://inpack/..tool.exe", "tome://inpack/a%2E.exe"})
    EXPECT_FALSE(Navigate(below, "*;").StatusText) << below;
  EXPECT_EQ(shell.opened, (Opened{"/home/u/docs/..tool.exe", "/home/u/docs/a%2E.exe"}));
}

TEST(SecurityManagerService, HandedOutOnlyForItsOwnServiceAndInterface) {
  TSecurityManager manager, other;
  ComPtr<IUnknown> obj(&other);
  QuerySecurityManagerService(IID_IInternetSecurityManager, IID_IUnknown, manager, obj);
  EXPECT_EQ(obj.Get(), static_cast<IUnknown*>(&other)) << "other requests leave obj alone";
  QuerySecurityManagerService(IID_IInternetSecurityManager, IID_IInternetSecurityManager, manager,
                              obj);
  EXPECT_EQ(obj.Get(), static_cast<IUnknown*>(&manager));
}

}  // namespace
}  // namespace tomelet
