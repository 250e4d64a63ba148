// The decisions of the main window: start-up, closing, shut-down, its commands and the browser
// events it follows. The window class only forwards its signals here and carries out the
// requests this class makes through IMainWindowView.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "SecurityManager/SecurityManager.h"
#include "Unit1/DocumentSearch.h"
#include "Unit1/MainWindowView.h"
#include "Unit1/NavigationPolicy.h"
#include "Unit1/RememberedPlace.h"
#include "Unit1/SidePane.h"
#include "ZLIBArchive2/ZLIBArchive2.h"
#include "bookmarks/Bookmarks.h"
#include "document/DocumentEntries.h"
#include "document/DocumentFile.h"
#include "document/ProjectOptions.h"
#include "platform/com/Com.h"
#include "platform/streams/Streams.h"
#include "platform/webbrowser/WebBrowser.h"

namespace tomelet {

struct TCommandLine {
  std::string ExecutablePath;
  std::vector<std::string> Arguments;
};

inline constexpr std::string_view kBlankUrl = "about:blank";
// The text size a document opens with: "Medium".
inline constexpr int kDefaultTextSize = kMediumTextSize;

// The extension of a command-line argument: the text from its last '.' when that '.' follows
// every folder separator and drive colon, else empty.
std::string ArgumentExtension(std::string_view argument);

// Checks the 6-byte header of an icon file; throws EReadError when it is shorter and
// std::runtime_error("Icon image is not valid") when its type is neither 0 nor 1.
void CheckIconHeader(std::span<const std::byte> icon);

TWindowBorder BorderFromCode(std::int32_t code);

// Commands the keyboard reaches besides the tool bar and the menus.
enum class TShortcut {
  Find,
  Search,
  Print,
  TextLarger,
  TextSmaller,
  TextMedium,
  Exit,
  Home,
  Back,
  Forward,
  Bookmark,
  SidePane
};

// What Esc does: an editable field of the page that has the keyboard gets the key first, then an
// open find or search bar closes, then the searched words marked on the page go, then full screen
// ends; only otherwise does the program end.
enum class TEscapeAction { ToPage, CloseFindBar, ClearSearchMarks, LeaveFullScreen, Exit };
TEscapeAction EscapeAction(bool pageEditing, bool findBarOpen, bool searchMarksShown,
                           bool fullScreen);

class TForm1Logic {
 public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;

  TForm1Logic(IMainWindowView& view, IDialogs& dialogs, IShell& shell, IWebBrowserHost& webBrowser,
              IProtocolSession& protocol, TZLBArc2& arc, TCommandLine commandLine);
  TForm1Logic(const TForm1Logic&) = delete;
  TForm1Logic& operator=(const TForm1Logic&) = delete;

  void FormCreate();
  void FormClose();
  void FormDestroy();

  void ButtonBackClick();
  void ButtonForwardClick();
  void ButtonHomeClick();
  void ButtonSearchClick();
  // Opens the search bar; the document's search exists once its password was given and only
  // when it allows Find.
  void ButtonDocumentSearchClick();
  void ButtonPrintClick();
  // Shows or hides the side pane; it exists, like the search, only when the document allows
  // Find. Whether it is shown is kept with the reader's place.
  void ButtonSidePaneClick();
  // The headings of the document's page at address, for the pane's outline.
  std::vector<search::TOutlineHeading> PageOutline(const std::string& address);
  void Largest1Click(int textSize);
  void CopytoClipboard1Click();
  void PopupMenu2Popup();
  void Exit1Click();
  // The document's bookmarks exist once its password was given and its file is known.
  bool BookmarksAllowed() const { return !documentKey_.empty() && bookmarksKept_; }
  const std::vector<TBookmark>& Bookmarks() const { return bookmarks_; }
  // Keeps the page shown with its title and place; a page kept already gets its new place.
  void AddBookmark();
  // Opens a bookmark at its page, anchor and scroll place.
  void OpenBookmark(std::size_t index);
  void RenameBookmark(std::size_t index, const std::string& title);
  void DeleteBookmark(std::size_t index);
  // Adds the links of a bookmark file that lead to pages of this document, other than those kept
  // already, and answers how many. Throws EBookmarkFileError when the file cannot be read or is
  // not a bookmark file.
  std::size_t ImportBookmarks(const std::filesystem::path& file);
  // Throws EBookmarkFileError when the file cannot be written.
  void ExportBookmarks(const std::filesystem::path& file) const;
  // Runs the command of a shortcut when the document allows that command; false when it does
  // not, so the key goes on to the page.
  bool RunShortcut(TShortcut shortcut);
  bool ShortcutAllowed(TShortcut shortcut) const;

  void WebBrowser1CommandStateChange(int command, bool enable);
  void WebBrowser1TitleChange(const std::string& text);
  void WebBrowser1StatusTextChange(const std::string& text);
  void WebBrowser1DocumentComplete(const std::string& url);
  void WebBrowser1BeforeNavigate2(std::string& url, TNavigationCause cause, bool& cancel);
  void WebBrowser1NavigateError(const std::string& url, int statusCode, bool& cancel);
  void WebBrowser1WindowClosing(bool isChildWindow, bool& cancel);
  void WebBrowser1QueryService(const GUID& rsid, const GUID& iid, ComPtr<IUnknown>& obj);

  // Runs a handler the way the application runs every handler: a failure it does not catch
  // itself reaches the standard error box and the program goes on.
  void Guarded(const std::function<void()>& handler);

  TProjectOptions& ProjectOptions() { return projectOptions_; }
  const std::string& StartUrl() const { return startUrl_; }
  bool DocCompleted() const { return docCompleted_; }
  // The text size last chosen, 0 (smallest) to 4 (largest).
  int TextSize() const { return textSize_; }
  // Null until the password was given, and for a document that does not allow Find.
  TDocumentSearch* DocumentSearch() { return documentSearch_.get(); }
  // Null on the same terms as DocumentSearch.
  TDocumentMapLoader* DocumentMap() { return documentMap_.get(); }

  // How long closing waits for the blank page before it gives up on the browser.
  std::chrono::milliseconds CloseWaitLimit{5000};
  std::chrono::milliseconds CloseWaitStep{100};
  TClock Clock = [] { return std::chrono::steady_clock::now(); };
  // Where the reader's place in each document is kept; empty keeps nothing.
  std::filesystem::path PlaceFolder = TPlaceStore::DefaultFolder();
  // Where the reader's bookmarks of each document are kept; empty keeps none.
  std::filesystem::path BookmarkFolder = TBookmarkStore::DefaultFolder();

  // The URL security policy the browser receives when it asks for a security manager.
  TSecurityManager SecurityManager1;

 private:
  void ConfigureArchive();
  void ConnectBrowserEvents();
  void RegisterProtocol();
  bool OpenDocument();
  std::optional<std::string> DocumentFileName();
  // The cached document of a source, imported first unless it was before.
  std::optional<std::string> ImportedDocument(const std::string& source);
  void ReadProjectOptions();
  bool PasswordAccepted();
  void ApplyWindowOptions();
  void ApplyScrollBarOption();
  void LoadLogo();
  void NavigateToStartPage();
  void RecallPlace();
  void ApplyRememberedPlace();
  bool DocumentHasPage(const std::string& address);
  void RememberPlace();
  // Starts reading the map for a shown pane, once the first page has loaded.
  void PrepareMapOnceLoaded();
  void RecallBookmarks();
  void SaveBookmarks();
  std::string RecalledHistory() const;
  void RememberHistory();

  IMainWindowView& view_;
  IDialogs& dialogs_;
  IWebBrowserHost& webBrowser_;
  IProtocolSession& protocol_;
  TZLBArc2& arc_;
  // The handle on arc_'s open document, over its descriptor; null until it is open.
  std::shared_ptr<const TDocument> document_;
  TCommandLine commandLine_;
  TProjectOptions projectOptions_;
  TNavigationPolicy navigationPolicy_;
  TMemoryStream optionsStream_;
  std::string startUrl_;
  bool docCompleted_ = false;
  int textSize_ = kDefaultTextSize;
  // Set once the document is open and its password, if any, was given.
  std::string documentKey_;
  std::optional<TRememberedPlace> rememberedPlace_;
  std::optional<std::pair<int, int>> pendingScroll_;
  std::unique_ptr<TDocumentSearch> documentSearch_;
  std::string pageTitle_;
  std::vector<TBookmark> bookmarks_;
  // False while a damaged bookmark file could not be moved aside, so that no save replaces it.
  bool bookmarksKept_ = true;
  std::unique_ptr<TDocumentMapLoader> documentMap_;
  bool sidePaneShown_ = false;
  // Until the first page has loaded, the map waits: reading it would take the processor from
  // the engine's start.
  bool firstPageLoaded_ = false;
};

}  // namespace tomelet
