#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "SecurityManager/SecurityManager.h"
#include "WebHost/HostPolicy.h"

namespace tomelet {
namespace {

TEST(ContextMenu, ViewerReplacesEveryKindAndAListedKindOnlyItself) {
  const THostPolicy viewer = THostPolicy::ForViewer();
  for (std::uint32_t id : {0u, 1u, 5u, 9u, 10u, 0xFFFFu}) {
    EXPECT_EQ(viewer.ShowContextMenu(id).Result, S_OK) << id;
    EXPECT_TRUE(viewer.ShowContextMenu(id).ShowPopupMenu) << id;
  }
  THostPolicy imagesOnly;
  imagesOnly.DisabledPopupMenus = {TIEPopupMenu::rcmImage};
  EXPECT_EQ(imagesOnly.ShowContextMenu(1).Result, S_OK);
  EXPECT_FALSE(imagesOnly.ShowContextMenu(1).ShowPopupMenu) << "no menu of ours is set";
  for (std::uint32_t id : {0u, 5u, 11u})
    EXPECT_EQ(imagesOnly.ShowContextMenu(id).Result, S_FALSE) << id;
}

TEST(CtrlShortcuts, OnlyCtrlWithoutShiftOnAListedUpperCaseLetterIsSwallowed) {
  THostPolicy policy;
  EXPECT_EQ(policy.TranslateAccelerator({true, true, false, 'N'}), S_OK);
  EXPECT_EQ(policy.TranslateAccelerator({true, true, false, 0x14E}), S_OK) << "low byte only";
  EXPECT_EQ(policy.TranslateAccelerator({true, true, true, 'N'}), S_FALSE);
  EXPECT_EQ(policy.TranslateAccelerator({true, false, false, 'N'}), S_FALSE);
  EXPECT_EQ(policy.TranslateAccelerator({false, true, false, 'N'}), S_FALSE);
  EXPECT_EQ(policy.TranslateAccelerator({true, true, false, 'P'}), S_FALSE);
  policy.DisableCtrlShortcuts = "n";
  EXPECT_EQ(policy.TranslateAccelerator({true, true, false, 'N'}), S_FALSE);
}

class HostServices : public ::testing::Test {
 protected:
  HostServices() {
    policy.OnQueryService = [this](const GUID& sid, const GUID& iid, ComPtr<IUnknown>& out) {
      if (sid == IID_IInternetSecurityManager && iid == sid)
        securityManager.QueryInterface(iid, out.PutVoid());
    };
  }

  THostPolicy policy = THostPolicy::ForViewer();
  TSecurityManager securityManager;
  TSecurityManager host;  // any object with interfaces stands in for the host
  ComPtr<IUnknown> obj;
};

TEST_F(HostServices, SecurityManagerIsPassedOnAndEverythingElseIsNotAvailable) {
  EXPECT_EQ(
      policy.QueryService(IID_IInternetSecurityManager, IID_IInternetSecurityManager, &host, obj),
      S_OK);
  EXPECT_EQ(obj.Get(), static_cast<IUnknown*>(&securityManager));
  EXPECT_EQ(policy.QueryService(IID_IInternetSecurityManager, IID_IUnknown, &host, obj),
            E_NOINTERFACE);
  EXPECT_FALSE(obj) << "the out object is cleared first";
  EXPECT_EQ(policy.QueryService(IID_IProtectFocus, IID_IUnknown, &host, obj), S_OK);
  EXPECT_EQ(obj.Get(), static_cast<IUnknown*>(&host));
  policy.OnQueryService = [](const GUID&, const GUID&, ComPtr<IUnknown>&) {
    throw std::runtime_error("lookup failed");
  };
  EXPECT_EQ(policy.QueryService(IID_IUnknown, IID_IUnknown, &host, obj), E_NOINTERFACE);
}

TEST_F(HostServices, PageSecurityFollowsEachOptionAndAllowsWhatTheZonesDecide) {
  EXPECT_EQ(policy.PageSecurity(), (TPageSecurity{true, true, true}));
  securityManager.UrlPolicy = {TAllowDisAllowPolicyOption::Allow,
                               TAllowDisAllowPolicyOption::Disallow, TJavaPolicyOption::Prohibited,
                               TAllowDisAllowPolicyOption::Disallow,
                               TAllowDisAllowPolicyOption::Disallow};
  EXPECT_EQ(policy.PageSecurity(), (TPageSecurity{false, false, false}));
  securityManager.OnProcessUrlAction = [](const char16_t*, DWORD action, std::byte* out, DWORD,
                                          std::byte*, DWORD, DWORD, DWORD) -> HRESULT {
    const DWORD disallow = URLPOLICY_DISALLOW;
    std::memcpy(out, &disallow, sizeof(disallow));
    return action == URLACTION_HTML_SUBMIT_FORMS_TO ? S_OK : INET_E_DEFAULT_ACTION;
  };
  EXPECT_EQ(policy.PageSecurity(), (TPageSecurity{true, true, false}));
  EXPECT_EQ(THostPolicy().PageSecurity(), TPageSecurity{}) << "no security manager at all";
}

TEST(DialogCaptions, MakerWordGoesAndTheFirstBrowserNameIsReplaced) {
  EXPECT_EQ(ReplaceDialogCaption("Microsoft Internet Explorer", ""), "");
  EXPECT_EQ(ReplaceDialogCaption("Microsoft Microsoft Internet Explorer", ""), "Microsoft ");
  EXPECT_EQ(ReplaceDialogCaption("Internet Explorer Internet Explorer", "V"),
            "V Internet Explorer");
  EXPECT_EQ(ReplaceDialogCaption("microsoft internet explorer", ""), "microsoft internet explorer");
  EXPECT_EQ(ReplaceDialogCaption("MicrosoftInternet Explorer", ""), "Microsoft");
}

TEST(WheelFocus, OnlyATurnOverThePageWithTheFocusElsewhereMovesIt) {
  EXPECT_TRUE(WheelTurnMovesFocus(true, false, true));
  EXPECT_FALSE(WheelTurnMovesFocus(true, true, true));
  EXPECT_FALSE(WheelTurnMovesFocus(false, false, true));
  EXPECT_FALSE(WheelTurnMovesFocus(true, false, false));
}

}  // namespace
}  // namespace tomelet
