// The browser host's answers to the page's requests, as a plain object: context menus, blocked
// Ctrl shortcuts, services, the page security they lead to, and the caption rule for the page's
// dialogs. The engine glue consults it; nothing here needs the engine or a display.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/com/Com.h"

namespace tomelet {

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

inline constexpr IID IID_IProtectFocus{
    0xD81F90A3, 0x8156, 0x44F7, {0xAD, 0x28, 0x5A, 0xBB, 0x87, 0x00, 0x32, 0x74}};

struct TContextMenuAnswer {
  HRESULT Result;
  bool ShowPopupMenu;  // our menu at the pointer instead of the engine's
};

// What the URL security manager allows the pages. A question it leaves to the zones is
// allowed, as the engine's own defaults allow it.
struct TPageSecurity {
  bool Scripts = true;
  bool CrossDomainData = true;
  bool SubmitForms = true;
  bool operator==(const TPageSecurity&) const = default;
};

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
  // S_OK when obj is set afterwards; host answers the focus-protection service itself.
  HRESULT QueryService(const GUID& sid, const GUID& iid, IUnknown* host,
                       ComPtr<IUnknown>& obj) const;
  // Asks the security manager that OnQueryService hands out, as the engine would.
  TPageSecurity PageSecurity() const;

  std::string DisableCtrlShortcuts = "N";
  TIEPopupMenus DisabledPopupMenus;
  bool HasPopupMenu = false;
  std::function<void(const GUID& sid, const GUID& iid, ComPtr<IUnknown>& obj)> OnQueryService;

 private:
  bool IsMenuDisabled(std::uint32_t menuId) const;
};

// A dialog of the page loses the browser maker's name: the first "Microsoft " goes, the first
// "Internet Explorer" becomes newCaption.
std::string ReplaceDialogCaption(std::string_view caption, std::string_view newCaption);

// A wheel turn over the page while the keyboard focus is elsewhere only moves the focus there.
bool WheelTurnMovesFocus(bool pointerOverPage, bool focusInPage, bool focusInWindow);

}  // namespace tomelet
