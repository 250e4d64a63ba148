#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SecurityManager/SecurityManager.h"
#include "Unit1/NavigationPolicy.h"

namespace tomelet {
namespace {

class RecordingShell final : public IShell {
 public:
  void Open(const std::string& pathOrUri) override { Opened.push_back(pathOrUri); }
  std::vector<std::string> Opened;
};

class NavigationPolicyTest : public ::testing::Test {
 protected:
  TNavigationDecision Navigate(std::string& url) { return policy.BeforeNavigate2(url); }

  // Navigates and checks that the browser is told to go on with the URL unchanged.
  void ExpectLoads(std::string url) {
    const std::string original = url;
    const TNavigationDecision decision = Navigate(url);
    EXPECT_FALSE(decision.Cancel) << original;
    EXPECT_FALSE(decision.CloseMainWindow) << original;
    EXPECT_FALSE(decision.StatusText) << original;
    EXPECT_EQ(url, original);
  }

  TProjectOptions options;
  RecordingShell shell;
  TNavigationPolicy policy{options, shell, [] { return std::filesystem::path("/home/u/docs"); }};
};

TEST_F(NavigationPolicyTest, DocumentRootOpensTheRootFolderInsteadOfNavigating) {
  for (std::string root : {"tome://inpack/", "tome://inpack//"}) {
    const std::string original = root;
    const TNavigationDecision decision = Navigate(root);
    EXPECT_TRUE(decision.Cancel);
    EXPECT_FALSE(decision.CloseMainWindow);
    EXPECT_EQ(root, original);
  }
  EXPECT_EQ(shell.Opened, (std::vector<std::string>{"/", "/"}));
}

TEST_F(NavigationPolicyTest, DocumentRootInOtherCaseIsAnOrdinaryDocumentPage) {
  ExpectLoads("TOME://INPACK/");
  ExpectLoads("tome://inpack///");
  EXPECT_TRUE(shell.Opened.empty());
}

TEST_F(NavigationPolicyTest, AboutCloseInAnyCaseClosesTheWindow) {
  for (std::string url : {"about:close", "ABOUT:CLOSE", "About:Close"}) {
    const TNavigationDecision decision = Navigate(url);
    EXPECT_TRUE(decision.Cancel) << url;
    EXPECT_TRUE(decision.CloseMainWindow) << url;
  }
  EXPECT_TRUE(shell.Opened.empty());
}

TEST_F(NavigationPolicyTest, OtherUrlsOutsideTheDocumentLoad) {
  options.SetOpenOutsideMasks("*");
  ExpectLoads("about:closex");
  ExpectLoads(" about:close");
  ExpectLoads("about:blank");
  ExpectLoads("https://example.org/setup.exe");
  ExpectLoads("tome://other/x.exe");
  EXPECT_TRUE(shell.Opened.empty());
  EXPECT_EQ(options.OpenOutsideMasks(), "*") << "outside pages never touch the mask list";
}

TEST_F(NavigationPolicyTest, MatchingLinkOpensTheFileBelowTheCurrentFolder) {
  options.SetOpenOutsideMasks("*.exe;*.pdf;");
  std::string url = "tome://inpack/setup/tool.exe";
  const TNavigationDecision decision = Navigate(url);
  EXPECT_TRUE(decision.Cancel);
  EXPECT_FALSE(decision.CloseMainWindow);
  EXPECT_FALSE(decision.StatusText);
  EXPECT_EQ(url, "setup/tool.exe");
  EXPECT_EQ(shell.Opened, (std::vector<std::string>{"/home/u/docs/setup/tool.exe"}));
}

TEST_F(NavigationPolicyTest, UnmatchedLinkLoadsFromTheArchive) {
  options.SetOpenOutsideMasks("*.exe;*.pdf;");
  ExpectLoads("tome://inpack/setup/tool.htm");
  ExpectLoads("tome://inpack/setup/tool.exe.htm");
  EXPECT_TRUE(shell.Opened.empty());
}

TEST_F(NavigationPolicyTest, UpperCasePrefixCountsAsInsideTheDocument) {
  options.SetOpenOutsideMasks("*.EXE;");
  std::string url = "TOME://INPACK/Setup/Tool.exe";
  EXPECT_TRUE(Navigate(url).Cancel);
  EXPECT_EQ(url, "Setup/Tool.exe");
  EXPECT_EQ(shell.Opened, (std::vector<std::string>{"/home/u/docs/Setup/Tool.exe"}));
}

TEST_F(NavigationPolicyTest, PathKeepsEscapesQueryAndFragment) {
  options.SetOpenOutsideMasks("*.pdf*;");
  std::string url = "tome://inpack/docs/read%20me.pdf?page=2#top";
  EXPECT_TRUE(Navigate(url).Cancel);
  EXPECT_EQ(url, "docs/read%20me.pdf?page=2#top");
  EXPECT_EQ(shell.Opened, (std::vector<std::string>{"/home/u/docs/docs/read%20me.pdf?page=2#top"}));
}

TEST_F(NavigationPolicyTest, EmptyMaskListBecomesOneSemicolonAndMatchesNothing) {
  ExpectLoads("tome://inpack/setup/tool.exe");
  EXPECT_EQ(options.OpenOutsideMasks(), ";");
  ExpectLoads("tome://inpack/index.htm");
  EXPECT_EQ(options.OpenOutsideMasks(), ";") << "the semicolon is added once";
}

TEST_F(NavigationPolicyTest, ListWithoutFinalSemicolonGainsOneAndTestsItsLastMask) {
  options.SetOpenOutsideMasks("*.exe;*.pdf");
  std::string url = "tome://inpack/manual.pdf";
  EXPECT_TRUE(Navigate(url).Cancel);
  EXPECT_EQ(options.OpenOutsideMasks(), "*.exe;*.pdf;");
}

TEST_F(NavigationPolicyTest, FullListWithoutFinalSemicolonNeverTestsItsLastMask) {
  const std::string full = std::string(249, 'x') + ";*.pdf";
  ASSERT_EQ(full.size(), 255u);
  options.SetOpenOutsideMasks(full);
  ExpectLoads("tome://inpack/manual.pdf");
  EXPECT_EQ(options.OpenOutsideMasks(), full);
}

TEST_F(NavigationPolicyTest, FirstMatchingMaskWinsAndLaterMasksAreNotBuilt) {
  options.SetOpenOutsideMasks("*.exe;[broken;");
  std::string url = "tome://inpack/tool.exe";
  const TNavigationDecision decision = Navigate(url);
  EXPECT_TRUE(decision.Cancel);
  EXPECT_FALSE(decision.StatusText);
  EXPECT_EQ(shell.Opened.size(), 1u);
}

TEST_F(NavigationPolicyTest, InvalidMaskCancelsAndShowsItsMessage) {
  options.SetOpenOutsideMasks("*.htm[;*.exe;");
  std::string url = "tome://inpack/tool.exe";
  const TNavigationDecision decision = Navigate(url);
  EXPECT_TRUE(decision.Cancel);
  EXPECT_FALSE(decision.CloseMainWindow);
  EXPECT_EQ(decision.StatusText, "'*.htm[' is an invalid mask at (6)");
  EXPECT_EQ(url, "tome://inpack/tool.exe");
  EXPECT_TRUE(shell.Opened.empty());
}

class OutsideFolderTest : public NavigationPolicyTest,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(OutsideFolderTest, FileOutsideTheCurrentFolderIsRefused) {
  options.SetOpenOutsideMasks("*;");
  std::string url = GetParam();
  const TNavigationDecision decision = Navigate(url);
  EXPECT_TRUE(decision.Cancel);
  EXPECT_EQ(decision.StatusText, std::string(kOutsideFolderRefusal) + url);
  EXPECT_TRUE(shell.Opened.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Climbing, OutsideFolderTest,
    ::testing::Values("tome://inpack/../secret.exe", "tome://inpack/setup/../../secret.exe",
                      "tome://inpack/..", "TOME://INPACK/%2e%2e/x.exe",
                      "tome://inpack/setup/%2E%2E/%2e%2e/x.exe", "tome://inpack/%2Fetc/passwd",
                      "tome://inpack///etc/passwd", "tome://inpack/x.exe?a=/../../y"));

TEST_F(NavigationPolicyTest, NamesThatOnlyLookLikeClimbingAreOpened) {
  options.SetOpenOutsideMasks("*;");
  for (std::string url : {"tome://inpack/..tool.exe", "tome://inpack/setup/...",
                          "tome://inpack/a%2E.exe", "tome://inpack/./tool.exe"}) {
    const TNavigationDecision decision = Navigate(url);
    EXPECT_TRUE(decision.Cancel);
    EXPECT_FALSE(decision.StatusText) << url;
  }
  EXPECT_EQ(shell.Opened,
            (std::vector<std::string>{"/home/u/docs/..tool.exe", "/home/u/docs/setup/...",
                                      "/home/u/docs/a%2E.exe", "/home/u/docs/tool.exe"}));
}

TEST(MaskListSplitting, EveryRunBeforeASemicolonIsAMask) {
  EXPECT_EQ(SplitMaskList(";"), (std::vector<std::string>{""}));
  EXPECT_EQ(SplitMaskList(";;a;"), (std::vector<std::string>{"", "", "a"}));
  EXPECT_EQ(SplitMaskList("a;b"), (std::vector<std::string>{"a"}));
  EXPECT_TRUE(SplitMaskList("").empty());
  EXPECT_TRUE(SplitMaskList("*.exe").empty());
}

TEST(NavigateErrorStatus, ShowsTheCodeInDecimal) {
  EXPECT_EQ(NavigateErrorStatusText(404), "404");
  EXPECT_EQ(NavigateErrorStatusText(-2146697211), "-2146697211");
}

TEST(SecurityManagerService, HandedOutOnlyForItsOwnServiceAndInterface) {
  TSecurityManager manager;
  ComPtr<IUnknown> obj;
  QuerySecurityManagerService(IID_IInternetSecurityManager, IID_IUnknown, manager, obj);
  EXPECT_FALSE(obj);
  QuerySecurityManagerService(IID_IUnknown, IID_IInternetSecurityManager, manager, obj);
  EXPECT_FALSE(obj);
  QuerySecurityManagerService(IID_IInternetSecurityManager, IID_IInternetSecurityManager, manager,
                              obj);
  EXPECT_EQ(obj.Get(), static_cast<IUnknown*>(&manager));

  TSecurityManager other;
  ComPtr<IUnknown> kept(&other);
  QuerySecurityManagerService(GUID_NULL, GUID_NULL, manager, kept);
  EXPECT_EQ(kept.Get(), static_cast<IUnknown*>(&other)) << "other requests leave obj alone";
}

}  // namespace
}  // namespace tomelet
