#include "WebHost/HostPolicy.h"

#include <algorithm>

#include "SecurityManager/SecurityManager.h"

namespace tomelet {

namespace {

constexpr std::string_view kMakerWord = "Microsoft ";
constexpr std::string_view kBrowserName = "Internet Explorer";
constexpr std::uint32_t kLastMenuKind = static_cast<std::uint32_t>(TIEPopupMenu::rcmDebug);

void ReplaceFirst(std::string& text, std::string_view what, std::string_view with) {
  const std::size_t at = text.find(what);
  if (at != std::string::npos)
    text.replace(at, what.size(), with);
}

// The low four bits of a policy carry the permission.
constexpr DWORD kPermissionBits = 0x0F;

bool Allows(IInternetSecurityManager& manager, DWORD action) {
  DWORD policy = URLPOLICY_ALLOW;
  const HRESULT result = manager.ProcessUrlAction(
      nullptr, action, reinterpret_cast<std::byte*>(&policy), sizeof(policy), nullptr, 0, 0, 0);
  return result != S_OK || (policy & kPermissionBits) != URLPOLICY_DISALLOW;
}

}  // namespace

THostPolicy THostPolicy::ForViewer() {
  THostPolicy policy;
  using enum TIEPopupMenu;
  policy.DisabledPopupMenus = {rcmDefault,   rcmImage,  rcmControl, rcmTable,
                               rcmSelText,   rcmAnchor, rcmUnKnown, rcmImageArt,
                               rcmImgDynSrc, rcmDebug,  rcmAll};
  policy.HasPopupMenu = true;
  return policy;
}

// Menu ids past the known kinds only count through rcmAll.
bool THostPolicy::IsMenuDisabled(std::uint32_t menuId) const {
  if (DisabledPopupMenus.Contains(TIEPopupMenu::rcmAll))
    return true;
  return menuId <= kLastMenuKind && DisabledPopupMenus.Contains(static_cast<TIEPopupMenu>(menuId));
}

TContextMenuAnswer THostPolicy::ShowContextMenu(std::uint32_t menuId) const {
  if (IsMenuDisabled(menuId))
    return {S_OK, HasPopupMenu};
  return {S_FALSE, false};
}

// Key codes of letters are upper case, so only upper-case letters in the list take effect.
bool THostPolicy::SwallowsShortcut(const TKeyStroke& key) const {
  if (DisableCtrlShortcuts.empty() || !key.KeyDown || !key.Ctrl || key.Shift)
    return false;
  const char letter = static_cast<char>(key.KeyCode & 0xFF);
  return DisableCtrlShortcuts.find(letter) != std::string::npos;
}

HRESULT THostPolicy::TranslateAccelerator(const TKeyStroke& key) const {
  return SwallowsShortcut(key) ? S_OK : S_FALSE;
}

HRESULT THostPolicy::QueryService(const GUID& sid, const GUID& iid, IUnknown* host,
                                  ComPtr<IUnknown>& obj) const {
  obj.Reset();
  if (sid == IID_IProtectFocus && host != nullptr)
    host->QueryInterface(iid, obj.PutVoid());
  if (!obj && OnQueryService) {
    try {
      OnQueryService(sid, iid, obj);
    } catch (...) {
      obj.Reset();
    }
  }
  return obj ? S_OK : E_NOINTERFACE;
}

TPageSecurity THostPolicy::PageSecurity() const {
  ComPtr<IUnknown> service;
  ComPtr<IInternetSecurityManager> manager;
  if (QueryService(IID_IInternetSecurityManager, IID_IInternetSecurityManager, nullptr, service) !=
          S_OK ||
      service.As(manager) != S_OK)
    return {};
  return {Allows(*manager, URLACTION_SCRIPT_RUN), Allows(*manager, URLACTION_CROSS_DOMAIN_DATA),
          Allows(*manager, URLACTION_HTML_SUBMIT_FORMS_FROM) &&
              Allows(*manager, URLACTION_HTML_SUBMIT_FORMS_TO)};
}

std::string ReplaceDialogCaption(std::string_view caption, std::string_view newCaption) {
  std::string result(caption);
  ReplaceFirst(result, kMakerWord, "");
  ReplaceFirst(result, kBrowserName, newCaption);
  return result;
}

bool WheelTurnMovesFocus(bool pointerOverPage, bool focusInPage, bool focusInWindow) {
  return pointerOverPage && focusInWindow && !focusInPage;
}

}  // namespace tomelet
