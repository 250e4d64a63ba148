#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "SecurityManager/SecurityManager.h"
#include "WebHost/HostPolicy.h"

namespace tomelet {
namespace {

constexpr std::uint32_t kKeyN = 'N';
constexpr GUID kOtherGroup{0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

TEST(HostFlags, ConstructedAndViewerSetsGiveTheirSums) {
  THostPolicy policy = THostPolicy::ForViewer();
  EXPECT_EQ(THostPolicy().HostFlags(), 0x44000u);
  EXPECT_EQ(policy.GetHostInfo().Flags, 0x44000u);
  policy.UserInterfaceOptions.Include(TUserInterfaceOption::DontUseScrollBars);
  const THostInfo info = policy.GetHostInfo();
  EXPECT_EQ(info.Flags, 0x44008u);
  EXPECT_EQ(info.Size, 20u);
  EXPECT_EQ(info.DoubleClick, 0u);
  EXPECT_TRUE(info.HostCSS.empty());
  EXPECT_TRUE(info.HostNS.empty());
}

TEST(DownloadControl, ConstructedSetAndWholeSet) {
  EXPECT_EQ(THostPolicy().DownloadOptions.Value(), 0x70u);
  using enum TDownloadControlOption;
  const TDownloadControlOptions all{DownloadImages,
                                    DownloadVideos,
                                    DownloadBGSounds,
                                    DontExecuteScripts,
                                    DontExecuteJava,
                                    DontExecuteActiveX,
                                    DontDownloadActiveX,
                                    DownloadButDontDisplay,
                                    DontDownloadFrame,
                                    CheckPageResynchronize,
                                    DownloadAndIgnoreCache,
                                    DontDownloadBehaviors,
                                    SuppressedMetaCharset,
                                    DisableUrlIfEncodingUTF8,
                                    EnableUrlIfEncodingUTF8,
                                    ForceOfflineMode,
                                    DontPerformClientPull,
                                    DownloadInSilentMode,
                                    WorkOffline};
  EXPECT_EQ(all.Value(), 0xF007FFF0u);
  EXPECT_EQ(TDownloadControlOptions().Value(), 0u);
}

TEST(ContextMenu, ViewerShowsItsOwnMenuForEveryKind) {
  const THostPolicy policy = THostPolicy::ForViewer();
  for (std::uint32_t id : {0u, 1u, 4u, 5u, 9u, 10u, 15u, 0xFFFFu}) {
    const TContextMenuAnswer answer = policy.ShowContextMenu(id);
    EXPECT_EQ(answer.Result, S_OK) << id;
    EXPECT_TRUE(answer.ShowPopupMenu) << id;
  }
}

TEST(ContextMenu, OnlyTheListedKindsAreReplaced) {
  THostPolicy policy;
  policy.HasPopupMenu = true;
  policy.DisabledPopupMenus = {TIEPopupMenu::rcmImage};
  EXPECT_EQ(policy.ShowContextMenu(1).Result, S_OK);
  EXPECT_TRUE(policy.ShowContextMenu(1).ShowPopupMenu);
  for (std::uint32_t id : {0u, 2u, 5u, 10u, 11u}) {
    EXPECT_EQ(policy.ShowContextMenu(id).Result, S_FALSE) << id;
    EXPECT_FALSE(policy.ShowContextMenu(id).ShowPopupMenu) << id;
  }
}

TEST(ContextMenu, DisabledKindWithoutAMenuShowsNothingButStillAnswersOk) {
  THostPolicy policy;
  policy.DisabledPopupMenus = {TIEPopupMenu::rcmAll};
  const TContextMenuAnswer answer = policy.ShowContextMenu(3);
  EXPECT_EQ(answer.Result, S_OK);
  EXPECT_FALSE(answer.ShowPopupMenu);
  EXPECT_EQ(THostPolicy().ShowContextMenu(0).Result, S_FALSE) << "nothing disabled when built";
}

struct KeyCase {
  const char* Name;
  const char* Shortcuts;
  TKeyStroke Key;
  HRESULT Expected;
};

std::ostream& operator<<(std::ostream& out, const KeyCase& c) {
  return out << c.Name;
}

class CtrlShortcuts : public ::testing::TestWithParam<KeyCase> {};

TEST_P(CtrlShortcuts, OnlyCtrlWithoutShiftOnAListedLetterIsSwallowed) {
  THostPolicy policy;
  policy.DisableCtrlShortcuts = GetParam().Shortcuts;
  EXPECT_EQ(policy.TranslateAccelerator(GetParam().Key), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, CtrlShortcuts,
    ::testing::Values(KeyCase{"CtrlN", "N", {true, true, false, kKeyN}, S_OK},
                      KeyCase{"CtrlShiftN", "N", {true, true, true, kKeyN}, S_FALSE},
                      KeyCase{"PlainN", "N", {true, false, false, kKeyN}, S_FALSE},
                      KeyCase{"CtrlNReleased", "N", {false, true, false, kKeyN}, S_FALSE},
                      KeyCase{"CtrlP", "N", {true, true, false, 'P'}, S_FALSE},
                      KeyCase{
                          "LowerCaseListSwallowsNothing", "n", {true, true, false, kKeyN}, S_FALSE},
                      KeyCase{"EmptyList", "", {true, true, false, kKeyN}, S_FALSE},
                      KeyCase{"SecondLetter", "NP", {true, true, false, 'P'}, S_OK},
                      KeyCase{"OnlyTheLowByteCounts", "N", {true, true, false, 0x14E}, S_OK}),
    [](const auto& info) { return std::string(info.param.Name); });

struct ScriptErrorCase {
  TScriptErrorAction Action;
  HRESULT Result;
  std::optional<bool> Output;
};

class ScriptErrors : public ::testing::TestWithParam<ScriptErrorCase> {};

TEST_P(ScriptErrors, AnswerFollowsTheAction) {
  THostPolicy policy;
  policy.ScriptErrorAction = GetParam().Action;
  const TExecAnswer answer = policy.Exec(&CGID_DocHostCommandHandler, OLECMDID_SHOWSCRIPTERROR);
  EXPECT_EQ(answer.Result, GetParam().Result);
  EXPECT_EQ(answer.Output, GetParam().Output);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, ScriptErrors,
    ::testing::Values(ScriptErrorCase{TScriptErrorAction::eaContinue, S_OK, true},
                      ScriptErrorCase{TScriptErrorAction::eaCancel, S_OK, false},
                      ScriptErrorCase{TScriptErrorAction::eaAskUser, S_FALSE, std::nullopt}));

TEST(CommandGroups, ViewerLeavesEveryOtherCommandUnsupported) {
  const THostPolicy policy = THostPolicy::ForViewer();
  for (std::uint32_t command : {2300u, 6041u, 6042u, 41u})
    EXPECT_EQ(policy.Exec(&CGID_DocHostCommandHandler, command).Result, OLECMDERR_E_NOTSUPPORTED);
  EXPECT_EQ(policy.Exec(&CGID_Explorer, 37).Result, OLECMDERR_E_NOTSUPPORTED);
  EXPECT_EQ(policy.Exec(&kOtherGroup, OLECMDID_SHOWSCRIPTERROR).Result, OLECMDERR_E_NOTSUPPORTED);
  EXPECT_EQ(policy.Exec(nullptr, OLECMDID_SHOWSCRIPTERROR).Result, OLECMDERR_E_NOTSUPPORTED);
}

TEST(CommandGroups, FocusCommandAsksForTheFocusHookOnly) {
  const THostPolicy policy = THostPolicy::ForViewer();
  const TExecAnswer answer = policy.Exec(&CGID_Explorer, 39);
  EXPECT_TRUE(answer.EnsureFocusHook);
  EXPECT_EQ(answer.Result, OLECMDERR_E_NOTSUPPORTED);
  EXPECT_FALSE(policy.Exec(&CGID_DocHostCommandHandler, 39).EnsureFocusHook);
}

TEST(CommandGroups, RefreshAndUnloadEventsDecideWhenAssigned) {
  THostPolicy policy;
  bool cancel = false;
  int unloads = 0;
  policy.OnRefresh = [&] { return cancel; };
  policy.OnUnload = [&] { ++unloads; };
  EXPECT_EQ(policy.Exec(&CGID_DocHostCommandHandler, 6041).Result, OLECMDERR_E_NOTSUPPORTED);
  cancel = true;
  EXPECT_EQ(policy.Exec(&CGID_DocHostCommandHandler, 2300).Result, S_OK);
  EXPECT_EQ(policy.Exec(&CGID_Explorer, 37).Result, S_OK);
  EXPECT_EQ(unloads, 1);
}

class HostServices : public ::testing::Test {
 protected:
  THostPolicy policy = THostPolicy::ForViewer();
  TSecurityManager securityManager;
  TSecurityManager host;  // any object with interfaces stands in for the host here
  ComPtr<IUnknown> obj;

  void HandOutTheSecurityManager() {
    policy.OnQueryService = [this](const GUID& sid, const GUID& iid, ComPtr<IUnknown>& out) {
      if (sid == IID_IInternetSecurityManager && iid == sid)
        securityManager.QueryInterface(iid, out.PutVoid());
    };
  }
};

TEST_F(HostServices, SecurityManagerRequestIsPassedToTheViewer) {
  HandOutTheSecurityManager();
  EXPECT_EQ(
      policy.QueryService(IID_IInternetSecurityManager, IID_IInternetSecurityManager, &host, obj),
      S_OK);
  EXPECT_EQ(obj.Get(), static_cast<IUnknown*>(&securityManager));
}

TEST_F(HostServices, SameServiceWithAnotherInterfaceIsNotAvailable) {
  HandOutTheSecurityManager();
  obj = &host;
  EXPECT_EQ(policy.QueryService(IID_IInternetSecurityManager, IID_IUnknown, &host, obj),
            E_NOINTERFACE);
  EXPECT_FALSE(obj) << "the out object is cleared first";
}

TEST_F(HostServices, FocusProtectionIsAnsweredByTheHostItself) {
  HandOutTheSecurityManager();
  EXPECT_EQ(policy.QueryService(IID_IProtectFocus, IID_IUnknown, &host, obj), S_OK);
  EXPECT_EQ(obj.Get(), static_cast<IUnknown*>(&host));
}

TEST_F(HostServices, WithoutAHandlerNothingIsAvailable) {
  EXPECT_EQ(
      policy.QueryService(IID_IInternetSecurityManager, IID_IInternetSecurityManager, &host, obj),
      E_NOINTERFACE);
}

TEST_F(HostServices, AThrowingHandlerEndsAsNotAvailable) {
  policy.OnQueryService = [this](const GUID&, const GUID&, ComPtr<IUnknown>& out) {
    out = &host;
    throw std::runtime_error("lookup failed");
  };
  EXPECT_EQ(policy.QueryService(IID_IUnknown, IID_IUnknown, &host, obj), E_NOINTERFACE);
  EXPECT_FALSE(obj);
}

TEST_F(HostServices, PagesMayDoEverythingWithTheViewersSecurityManager) {
  HandOutTheSecurityManager();
  EXPECT_EQ(policy.PageSecurity(), (TPageSecurity{true, true, true}));
}

TEST_F(HostServices, EachDisallowedOptionClosesItsOwnDoor) {
  HandOutTheSecurityManager();
  securityManager.UrlPolicy.Scripts = TAllowDisAllowPolicyOption::Disallow;
  EXPECT_EQ(policy.PageSecurity(), (TPageSecurity{false, true, true}));
  securityManager.UrlPolicy = {};
  securityManager.UrlPolicy.CrossDomainData = TAllowDisAllowPolicyOption::Disallow;
  EXPECT_EQ(policy.PageSecurity(), (TPageSecurity{true, false, true}));
  securityManager.UrlPolicy = {};
  securityManager.UrlPolicy.SubmitForms = TAllowDisAllowPolicyOption::Disallow;
  EXPECT_EQ(policy.PageSecurity(), (TPageSecurity{true, true, false}));
}

TEST_F(HostServices, QuestionsLeftToTheZonesAreAllowed) {
  HandOutTheSecurityManager();
  securityManager.OnProcessUrlAction = [](const char16_t*, DWORD action, std::byte* out, DWORD,
                                          std::byte*, DWORD, DWORD, DWORD) -> HRESULT {
    if (action == URLACTION_HTML_SUBMIT_FORMS_TO) {
      const DWORD disallow = URLPOLICY_DISALLOW;
      std::memcpy(out, &disallow, sizeof(disallow));
      return S_OK;
    }
    return INET_E_DEFAULT_ACTION;
  };
  EXPECT_EQ(policy.PageSecurity(), (TPageSecurity{true, true, false}));
  EXPECT_EQ(THostPolicy().PageSecurity(), TPageSecurity{}) << "no security manager at all";
}

TEST(AmbientProperties, DownloadControlUserModeAndUserAgent) {
  THostPolicy policy = THostPolicy::ForViewer();
  EXPECT_EQ(policy.Ambient(DISPID_AMBIENT_DLCONTROL), TAmbientValue(std::int32_t{0x70}));
  EXPECT_EQ(policy.Ambient(DISPID_AMBIENT_USERMODE), TAmbientValue(true));
  EXPECT_FALSE(policy.Ambient(DISPID_AMBIENT_USERAGENT)) << "falls through to the container";
  EXPECT_FALSE(policy.Ambient(-5501));
  policy.InternalUserAgent = "Tomelet/1.0";
  EXPECT_EQ(policy.Ambient(DISPID_AMBIENT_USERAGENT),
            TAmbientValue(std::string("Tomelet/1.0\r\n")));
  policy.DownloadOptions = {TDownloadControlOption::WorkOffline};
  EXPECT_EQ(policy.Ambient(DISPID_AMBIENT_DLCONTROL),
            TAmbientValue(static_cast<std::int32_t>(0x80000000u)));
}

struct CaptionCase {
  const char* Caption;
  const char* NewCaption;
  const char* Expected;
};

class DialogCaptions : public ::testing::TestWithParam<CaptionCase> {};

TEST_P(DialogCaptions, MakerWordGoesAndBrowserNameIsReplacedOnce) {
  EXPECT_EQ(ReplaceDialogCaption(GetParam().Caption, GetParam().NewCaption), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Captions, DialogCaptions,
    ::testing::Values(
        CaptionCase{"Microsoft Internet Explorer", "", ""},
        CaptionCase{"Microsoft Internet Explorer", "Tomelet Viewer", "Tomelet Viewer"},
        CaptionCase{"Message from webpage", "X", "Message from webpage"},
        CaptionCase{"Microsoft Microsoft Internet Explorer", "", "Microsoft "},
        CaptionCase{"Internet Explorer Internet Explorer", "V", "V Internet Explorer"},
        CaptionCase{"microsoft internet explorer", "", "microsoft internet explorer"},
        CaptionCase{"MicrosoftInternet Explorer", "", "Microsoft"},
        CaptionCase{"Windows Internet Explorer - Error", "Tomelet", "Windows Tomelet - Error"}));

TEST(WheelFocus, OnlyATurnOverThePageWithFocusElsewhereMovesIt) {
  EXPECT_TRUE(WheelTurnMovesFocus(true, false, true));
  EXPECT_FALSE(WheelTurnMovesFocus(true, true, true)) << "the focused page scrolls";
  EXPECT_FALSE(WheelTurnMovesFocus(false, false, true)) << "not over the page";
  EXPECT_FALSE(WheelTurnMovesFocus(true, false, false)) << "no focus anywhere";
}

}  // namespace
}  // namespace tomelet
