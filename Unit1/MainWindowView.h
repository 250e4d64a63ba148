// What the main window's logic needs from the world around it: the window itself, the application,
// the dialogs, the desktop shell and the in-document protocol's registration. The viewer
// implements them with GTK; tests implement them with recording fakes.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace tomelet {

inline constexpr std::string_view kApplicationTitle = "Tomelet Viewer";
inline constexpr std::string_view kInformationCaption = "Information";
inline constexpr std::string_view kPasswordCaption = "Password Required";
inline constexpr std::string_view kPasswordPrompt =
    "Please provide a password to view content of this file ";
inline constexpr std::string_view kDocumentFilterName = "Tomelet Files";
inline constexpr std::string_view kDocumentFilterPattern = "*.tlt";

class IDialogs {
 public:
  virtual ~IDialogs() = default;

  // A modal box captioned "Information" with the information icon and one "OK" button.
  virtual void ShowInformation(const std::string& text) = 0;
  // The application's standard error box, for failures no handler catches.
  virtual void ShowError(const std::string& text) = 0;
  // The typed text on "OK", empty on "Cancel". The field masks what is typed.
  virtual std::string AskPassword(const std::string& caption, const std::string& prompt) = 0;
  // The chosen document file, or nothing when the dialog is cancelled.
  virtual std::optional<std::string> ChooseDocument() = 0;
  // A warning question with "Yes" and "No", "No" being the default; true for "Yes".
  virtual bool ConfirmWarning(const std::string& caption, const std::string& text) = 0;
  // Imports source as the document at path, showing its progress; the failure's message, or
  // nothing when the document is there.
  virtual std::optional<std::string> ImportSource(const std::string& source,
                                                  const std::string& path) = 0;
};

class IShell {
 public:
  virtual ~IShell() = default;
  // Opens a file, a folder or a URI with the desktop's default program; failures are the
  // desktop's own business.
  virtual void Open(const std::string& pathOrUri) = 0;
};

// The window's border as the options ask for it.
enum class TWindowBorder {
  None,              // no decoration at all
  SingleNoMaximise,  // fixed size, no maximise box
  Sizeable,
  NoneMaximised,  // no decoration, maximised
  Design,         // the window's own: fixed size with a maximise box
};

// The controls whose enabled state the logic sets, by their component names.
enum class TFormControl {
  ButtonBack,
  ButtonForward,
  ButtonSearch,
  // The document's Search command; absent rather than greyed when the document does not allow it.
  ButtonDocumentSearch,
  // The side pane's button; absent like the Search button.
  ButtonSidePane,
  ButtonPrint,
  ButtonFont,
  GoBack1,
  GoForward1,
  CopytoClipboard1,
  Search1,
  DocumentSearch1,
  Print1,
  // The Bookmarks button and the page menu's Bookmarks item; absent until the document is open
  // and its password was given.
  ButtonBookmarks,
  Bookmarks1,
};

// Where the reader is in the page shown: its address, with any anchor, and how far it is scrolled.
struct TPagePosition {
  std::string Address;
  int ScrollX = 0;
  int ScrollY = 0;
};

class IMainWindowView {
 public:
  virtual ~IMainWindowView() = default;

  virtual void SetOuterSize(int width, int height) = 0;
  virtual void CenterOnDesktop() = 0;
  virtual void SetBorder(TWindowBorder border) = 0;
  virtual void SetToolBarVisible(bool visible) = 0;
  virtual void SetButtonCaptionsShown(bool shown) = 0;
  virtual void SetStatusBarVisible(bool visible) = 0;
  virtual void SetEnabled(TFormControl control, bool enabled) = 0;
  // An icon file whose header has been checked; its images are decoded when painted.
  virtual void SetLogo(std::span<const std::byte> icon) = 0;

  virtual void SetCaption(const std::string& text) = 0;
  virtual void SetApplicationTitle(const std::string& text) = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  // Shows the search bar above the page with the keyboard in it.
  virtual void ShowSearchBar() = 0;
  // Shows the side pane with the keyboard in it, or hides it and gives the keyboard to the page.
  virtual void ShowSidePane(bool shown) = 0;
  // Moves the check mark of the text size menu to the item of that size (0 to 4).
  virtual void CheckTextSize(int size) = 0;

  virtual TPagePosition PagePosition() = 0;
  // Scrolls the page shown to that position.
  virtual void ScrollPage(int x, int y) = 0;
  // The window's size as the reader left it; nothing while it is maximised or full screen.
  virtual std::optional<std::pair<int, int>> WindowSize() = 0;
  // The history of Back and Forward as the browser keeps it, to be resumed in a later session;
  // empty when there is none.
  virtual std::string HistoryState() = 0;
  // Before the first page: restores the history of an earlier session. When that history's
  // current page is address, shows it from there and answers true; otherwise address is still
  // to be opened.
  virtual bool ResumeHistory(const std::string& state, const std::string& address) = 0;

  // Closes the main window as the user would, which runs the close handler.
  virtual void Close() = 0;
  // Asks the application to end at the next turn of its message loop.
  virtual void Terminate() = 0;
  // Handles every event that is pending, without waiting for more.
  virtual void ProcessMessages() = 0;
  virtual void Sleep(std::chrono::milliseconds duration) = 0;
};

// The application around the main window.
class IApplication {
 public:
  virtual ~IApplication() = default;
  // Runs the termination check; true when the message loop will end at its next turn.
  virtual bool Terminate() = 0;
};

// The in-document protocol's registration with the URL session, and the session's user agent.
class IProtocolSession {
 public:
  virtual ~IProtocolSession() = default;
  // Throws when the protocol cannot be registered.
  virtual void Register() = 0;
  // Does nothing when no session was obtained.
  virtual void Unregister() noexcept = 0;
  virtual void SetUserAgent(std::string_view userAgent) = 0;
};

}  // namespace tomelet
