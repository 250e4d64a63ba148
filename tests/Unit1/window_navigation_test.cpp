#include "main_window_fakes.h"

namespace tomelet::testing {
namespace {

TEST_F(MainWindowTest, NavigationRefusalsShowInTheStatusBarNotInABox) {
  TProjectOptions options = FriendlyOptions();
  options.SetOpenOutsideMasks("[;");
  Started(Document("manual.tlt", options));
  std::string url = "tome://inpack/index.htm";
  bool cancel = false;
  browser.Events.OnBeforeNavigate2(url, TNavigationCause::ReaderAction, cancel);
  EXPECT_TRUE(cancel);
  EXPECT_EQ(view.statusText, "'[' is an invalid mask at (1)");
  EXPECT_TRUE(dialogs.errors.empty());
}

TEST_F(MainWindowTest, BrowserAskingForASecurityManagerGetsTheWindowsOwn) {
  TForm1Logic& logic = Started(Document("manual.tlt", FriendlyOptions()));
  ComPtr<IUnknown> obj;
  browser.Events.OnQueryService(IID_IInternetSecurityManager, IID_IInternetSecurityManager, obj);
  EXPECT_EQ(obj.Get(), static_cast<IUnknown*>(&logic.SecurityManager1));
  EXPECT_EQ(logic.SecurityManager1.UrlPolicy, TUrlPolicyOptions{});
}

}  // namespace
}  // namespace tomelet::testing
