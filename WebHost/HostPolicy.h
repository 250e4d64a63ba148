// The browser host's answers to the page's requests, as a plain object: host flags, download
// control, context menus, blocked Ctrl shortcuts, script errors, command groups, services,
// ambient properties and the caption rule for the page's dialogs. The engine glue consults it;
// nothing here needs the engine or a display.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "platform/com/Com.h"
#include "platform/webbrowser/WebBrowser.h"

namespace tomelet {

// Download control; the value is the sum of the members' values.
enum class TDownloadControlOption : std::uint32_t {
  DownloadImages = 0x10,
  DownloadVideos = 0x20,
  DownloadBGSounds = 0x40,
  DontExecuteScripts = 0x80,
  DontExecuteJava = 0x100,
  DontExecuteActiveX = 0x200,
  DontDownloadActiveX = 0x400,
  DownloadButDontDisplay = 0x800,
  DontDownloadFrame = 0x1000,
  CheckPageResynchronize = 0x2000,
  DownloadAndIgnoreCache = 0x4000,
  DontDownloadBehaviors = 0x8000,
  SuppressedMetaCharset = 0x10000,
  DisableUrlIfEncodingUTF8 = 0x20000,
  EnableUrlIfEncodingUTF8 = 0x40000,
  ForceOfflineMode = 0x10000000,
  DontPerformClientPull = 0x20000000,
  DownloadInSilentMode = 0x40000000,
  WorkOffline = 0x80000000,
};

class TDownloadControlOptions {
 public:
  constexpr TDownloadControlOptions() = default;
  constexpr TDownloadControlOptions(std::initializer_list<TDownloadControlOption> members) {
    for (auto member : members)
      value_ |= static_cast<std::uint32_t>(member);
  }
  constexpr bool Contains(TDownloadControlOption member) const {
    return (value_ & static_cast<std::uint32_t>(member)) != 0;
  }
  constexpr std::uint32_t Value() const { return value_; }

 private:
  std::uint32_t value_ = 0;
};

// Kinds of context menu the document asks for; rcmAll stands for every kind.
enum class TIEPopupMenu : std::uint8_t {
  rcmDefault,
  rcmImage,
  rcmControl,
  rcmTable,
  rcmSelText,
  rcmAnchor,
  rcmUnKnown,
  rcmImageArt,
  rcmImgDynSrc,
  rcmDebug,
  rcmAll,
};

class TIEPopupMenus {
 public:
  constexpr TIEPopupMenus() = default;
  constexpr TIEPopupMenus(std::initializer_list<TIEPopupMenu> members) {
    for (auto member : members)
      bits_ |= Bit(member);
  }
  constexpr bool Contains(TIEPopupMenu member) const { return (bits_ & Bit(member)) != 0; }

 private:
  static constexpr std::uint16_t Bit(TIEPopupMenu member) {
    return static_cast<std::uint16_t>(1u << static_cast<unsigned>(member));
  }
  std::uint16_t bits_ = 0;
};

enum class TScriptErrorAction { eaContinue, eaCancel, eaAskUser };

inline constexpr GUID CGID_DocHostCommandHandler{
    0xF38BC242, 0xB950, 0x11D1, {0x89, 0x18, 0x00, 0xC0, 0x4F, 0xC2, 0xC8, 0x36}};
inline constexpr GUID CGID_Explorer{0x000214D0, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IProtectFocus{
    0xD81F90A3, 0x8156, 0x44F7, {0xAD, 0x28, 0x5A, 0xBB, 0x87, 0x00, 0x32, 0x74}};

inline constexpr std::uint32_t OLECMDID_SHOWSCRIPTERROR = 40;
inline constexpr std::uint32_t kRefreshCommands[] = {2300, 6041, 6042};
inline constexpr std::uint32_t kExplorerUnloadCommand = 37;
inline constexpr std::uint32_t kExplorerFocusCommand = 39;

inline constexpr int DISPID_AMBIENT_USERAGENT = -5513;
inline constexpr int DISPID_AMBIENT_DLCONTROL = -5512;
inline constexpr int DISPID_AMBIENT_USERMODE = -709;

struct TContextMenuAnswer {
  HRESULT Result;
  bool ShowPopupMenu;  // our menu at the pointer instead of the engine's
};

struct TExecAnswer {
  HRESULT Result = OLECMDERR_E_NOTSUPPORTED;
  std::optional<bool> Output;    // go on running the page's scripts, when set
  bool EnsureFocusHook = false;  // the document window now exists below the host
};

struct THostInfo {
  std::uint32_t Size = 20;
  std::uint32_t Flags = 0;
  std::uint32_t DoubleClick = 0;
  std::string HostCSS;
  std::string HostNS;
};

// What the URL security manager allows the pages. A question it leaves to the zones is
// allowed, as the engine's own defaults allow it.
struct TPageSecurity {
  bool Scripts = true;
  bool CrossDomainData = true;
  bool SubmitForms = true;
  bool operator==(const TPageSecurity&) const = default;
};

// An ambient property's value; nothing means the container's own answer applies.
using TAmbientValue = std::variant<std::int32_t, bool, std::string>;

// The keystroke as the host sees it: the key's code (upper-case letter or digit for those
// keys, whatever the Shift state) and the modifier state.
struct TKeyStroke {
  bool KeyDown = true;
  bool Ctrl = false;
  bool Shift = false;
  std::uint32_t KeyCode = 0;
};

class THostPolicy {
 public:
  // The constructed values; ForViewer() gives the values of the viewer's browser.
  THostPolicy() = default;
  static THostPolicy ForViewer();

  TContextMenuAnswer ShowContextMenu(std::uint32_t menuId) const;
  // S_OK for a swallowed Ctrl shortcut, else S_FALSE and the engine acts on the key.
  HRESULT TranslateAccelerator(const TKeyStroke& key) const;
  bool SwallowsShortcut(const TKeyStroke& key) const;
  TExecAnswer Exec(const GUID* group, std::uint32_t command) const;
  // S_OK when obj is set afterwards; host answers the focus-protection service itself.
  HRESULT QueryService(const GUID& sid, const GUID& iid, IUnknown* host,
                       ComPtr<IUnknown>& obj) const;
  std::optional<TAmbientValue> Ambient(int dispatchId) const;
  // Asks the security manager that OnQueryService hands out, as the engine would.
  TPageSecurity PageSecurity() const;
  THostInfo GetHostInfo() const;
  std::uint32_t HostFlags() const { return UserInterfaceOptions.HostFlags(); }

  // Fixed answers: the engine keeps its own menus, tool bars, drop target, message boxes and help.
  static constexpr HRESULT ShowUI = S_FALSE;
  static constexpr HRESULT HideUI = S_FALSE;
  static constexpr HRESULT UpdateUI = S_FALSE;
  static constexpr HRESULT EnableModeless = S_OK;
  static constexpr HRESULT OnDocWindowActivate = S_OK;
  static constexpr HRESULT OnFrameWindowActivate = S_OK;
  static constexpr HRESULT ResizeBorder = S_OK;
  static constexpr HRESULT GetOptionKeyPath = S_FALSE;
  static constexpr HRESULT GetOverrideKeyPath = S_FALSE;
  static constexpr HRESULT GetDropTarget = E_NOTIMPL;
  static constexpr HRESULT GetExternal = S_FALSE;
  static constexpr HRESULT TranslateUrl = S_FALSE;
  static constexpr HRESULT FilterDataObject = S_FALSE;
  static constexpr HRESULT ShowMessage = S_FALSE;
  static constexpr HRESULT ShowHelp = S_FALSE;
  static constexpr HRESULT QueryStatus = S_OK;

  TUserInterfaceOptions UserInterfaceOptions{TUserInterfaceOption::EnablesFormsAutoComplete,
                                             TUserInterfaceOption::EnableThemes};
  TDownloadControlOptions DownloadOptions{TDownloadControlOption::DownloadImages,
                                          TDownloadControlOption::DownloadVideos,
                                          TDownloadControlOption::DownloadBGSounds};
  std::string DisableCtrlShortcuts = "N";
  TIEPopupMenus DisabledPopupMenus;
  bool HasPopupMenu = false;
  TScriptErrorAction ScriptErrorAction = TScriptErrorAction::eaContinue;
  bool AllowFocusChange = true;
  std::string HostCSS;
  std::string HostNS;
  // The user agent answered as ambient property; empty leaves it to the container.
  std::string InternalUserAgent;

  // Raised for refresh commands; true cancels the refresh.
  std::function<bool()> OnRefresh;
  std::function<void()> OnUnload;
  std::function<void(const GUID& sid, const GUID& iid, ComPtr<IUnknown>& obj)> OnQueryService;

 private:
  bool IsMenuDisabled(std::uint32_t menuId) const;
  TExecAnswer ScriptErrorAnswer() const;
};

// A dialog of the page loses the browser maker's name: the first "Microsoft " goes, the first
// "Internet Explorer" becomes newCaption.
std::string ReplaceDialogCaption(std::string_view caption, std::string_view newCaption);

// A wheel turn over the page while the keyboard focus is elsewhere only moves the focus there.
bool WheelTurnMovesFocus(bool pointerOverPage, bool focusInPage, bool focusInWindow);

}  // namespace tomelet
