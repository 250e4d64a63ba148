// What the viewer relies on of its embedded browser: the calls it makes, the events it handles
// and the options it sets. The browser host implements it over the engine; tests implement it
// with a recording fake.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/com/Com.h"

namespace tomelet {

enum OLECMDID : std::uint32_t {
  OLECMDID_PRINTPREVIEW = 7,
  OLECMDID_COPY = 12,
  OLECMDID_ZOOM = 19,
  OLECMDID_GETZOOMRANGE = 20,
};

enum OLECMDEXECOPT : std::uint32_t {
  OLECMDEXECOPT_DODEFAULT = 0,
  OLECMDEXECOPT_PROMPTUSER = 1,
  OLECMDEXECOPT_DONTPROMPTUSER = 2,
};

// The five text sizes of the zoom command, 0 (smallest) to 4 (largest); the medium one is 2.
inline constexpr int kSmallestTextSize = 0;
inline constexpr int kMediumTextSize = 2;
inline constexpr int kLargestTextSize = 4;
constexpr bool IsTextSize(int size) {
  return size >= kSmallestTextSize && size <= kLargestTextSize;
}

// Commands named by the command-state event.
enum : int { CSC_UPDATECOMMANDS = -1, CSC_NAVIGATEFORWARD = 1, CSC_NAVIGATEBACK = 2 };

// The command group whose command 1 opens the find dialog over the document.
inline constexpr GUID CGID_WebBrowser = {
    0xED016940, 0xBD5B, 0x11CF, {0xBA, 0x4E, 0x00, 0xC0, 0x4F, 0xD7, 0x08, 0x16}};
inline constexpr std::uint32_t kFindDialogCommand = 1;

// Host flags answered to the browser; the set's value is the sum of its members' values.
enum class TUserInterfaceOption : std::uint32_t {
  DisableTextSelect = 0x1,
  DisableHelpMenu = 0x2,
  DontUse3DBorders = 0x4,
  DontUseScrollBars = 0x8,
  PostponeScriptUntilActive = 0x10,
  ForceOpenNewWindow = 0x20,
  Reserved_OFFSCREEN = 0x40,
  ForceFlatScrollBars = 0x80,
  InsertDivTagOnEditMode = 0x100,
  ActivateUIOnlyOnDocClick = 0x200,
  ConsultBeforeRetrievingBehavior = 0x400,
  CheckFontSupportsCodePage = 0x800,
  DisableSubmitUrlInUTF8 = 0x1000,
  EnableSubmitUrlInUTF8 = 0x2000,
  EnablesFormsAutoComplete = 0x4000,
  ForceSameWindowNavigation = 0x10000,
  EmableImeLocalLanguages = 0x20000,
  EnableThemes = 0x40000,
  DisableThemes = 0x80000,
  DisablePicsRatings = 0x100000,
  DisableFrameSetBorder = 0x200000,
  DisablesAutoNameSpaceCorrection = 0x400000,
  DisableLocalFileAccess = 0x800000,
  DisableUntrustedProtocol = 0x1000000,
  CheckNavigationDelegatedToHost = 0x2000000,
  EnableRedirectNotification = 0x4000000,
  EnableDomWindlessControls = 0x8000000,
  EnableWindowedControls = 0x10000000,
  ForceUserActivationOnActiveXJava = 0x20000000,
};

class TUserInterfaceOptions {
 public:
  constexpr TUserInterfaceOptions() = default;
  constexpr TUserInterfaceOptions(std::initializer_list<TUserInterfaceOption> members) {
    for (auto member : members)
      Include(member);
  }
  constexpr void Include(TUserInterfaceOption member) {
    flags_ |= static_cast<std::uint32_t>(member);
  }
  constexpr bool Contains(TUserInterfaceOption member) const {
    return (flags_ & static_cast<std::uint32_t>(member)) != 0;
  }
  constexpr std::uint32_t HostFlags() const { return flags_; }
  constexpr bool operator==(const TUserInterfaceOptions&) const = default;

 private:
  std::uint32_t flags_ = 0;
};

// A failing browser call, carrying the result code the engine gave.
class EWebBrowserError : public std::runtime_error {
 public:
  EWebBrowserError(HRESULT code, const std::string& text) : std::runtime_error(text), Code(code) {}
  HRESULT Code;
};

// The document's command target: command 1 of CGID_WebBrowser opens the find dialog.
class IOleCommandTarget {
 public:
  virtual ~IOleCommandTarget() = default;
  virtual HRESULT Exec(const GUID* group, std::uint32_t command, std::uint32_t option,
                       std::optional<int> input) = 0;
};

// Who started a navigation: the reader, with a click or a key in the page, or anything else (a
// start page, the viewer's own commands, a script, a redirect, the history).
enum class TNavigationCause { ReaderAction, Other };

struct TWebBrowserEvents {
  // The handler may rewrite url and set cancel to stop the navigation.
  std::function<void(std::string& url, TNavigationCause cause, bool& cancel)> OnBeforeNavigate2;
  std::function<void(const std::string& url, int statusCode, bool& cancel)> OnNavigateError;
  std::function<void(const std::string& url)> OnDocumentComplete;
  std::function<void(const std::string& text)> OnTitleChange;
  std::function<void(const std::string& text)> OnStatusTextChange;
  std::function<void(int command, bool enable)> OnCommandStateChange;
  std::function<void(bool isChildWindow, bool& cancel)> OnWindowClosing;
  // Services the host does not provide itself; the handler may set obj.
  std::function<void(const GUID& rsid, const GUID& iid, ComPtr<IUnknown>& obj)> OnQueryService;
};

class IWebBrowserHost {
 public:
  virtual ~IWebBrowserHost() = default;

  // Starts a navigation; throws EWebBrowserError when the browser refuses it.
  virtual void Navigate(const std::string& url) = 0;
  // One step in the history; nothing happens without an entry in that direction.
  virtual void GoBack() noexcept = 0;
  virtual void GoForward() noexcept = 0;
  // The current document's command target, or nullptr before the first page.
  virtual IOleCommandTarget* Document() = 0;
  // Copy (12), text size (19, input 0..4) and print preview (7); throws EWebBrowserError.
  virtual void ExecWB(OLECMDID command, OLECMDEXECOPT option, std::optional<int> input = {}) = 0;

  virtual TUserInterfaceOptions UserInterfaceOptions() const = 0;
  // Throws EWebBrowserError when the browser cannot take the new options.
  virtual void SetUserInterfaceOptions(TUserInterfaceOptions options) = 0;
  virtual bool Silent() const = 0;
  virtual void SetSilent(bool silent) = 0;

  TWebBrowserEvents Events;
};

}  // namespace tomelet
