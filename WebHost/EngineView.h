// The engine side of the browser host: the web view, the signals it raises as the host's events,
// and the state the host keeps between calls.
#pragma once

#include <gtkmm/widget.h>
#include <gtkmm/window.h>
#include <webkit2/webkit2.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "WebHost/WebHost.h"

namespace tomelet {

class TEngineView;
class TFindBar;
class TPagePolicy;
class TPageWatch;
class TPrintPreview;
class TSearchBar;

// A string the engine gave, which it gives as null when there is none.
std::string EngineText(const char* text);

// A modal error box above parent, or centred when there is none.
void ShowError(Gtk::Window* parent, const std::string& text);

// The document's command target: the find bar and the document's own commands.
class TDocumentCommands final : public IOleCommandTarget {
 public:
  explicit TDocumentCommands(TEngineView& view) : view_(view) {}
  HRESULT Exec(const GUID* group, std::uint32_t command, std::uint32_t option,
               std::optional<int> input) override;

 private:
  TEngineView& view_;
};

class TEngineView {
 public:
  explicit TEngineView(TWebHost& host);
  ~TEngineView();
  TEngineView(const TEngineView&) = delete;
  TEngineView& operator=(const TEngineView&) = delete;

  WebKitWebView* View() const { return view_; }
  // The page with the find bar above it.
  Gtk::Widget& Widget() const { return *widget_; }

  void Load(const std::string& url);
  void Reload();
  void GoBack();
  void GoForward();
  void GoToHistoryItem(WebKitBackForwardListItem* item);
  IOleCommandTarget* Document();

  void Copy();
  void SetTextSize(int textSize);
  void ShowFindBar();
  bool FindBarOpen() const;
  void CloseFindBar();
  void ShowSearchBar();
  bool SearchBarOpen() const;
  void CloseSearchBar();
  bool PageIsEditing() const;
  bool SearchMarksShown() const { return marksShown_; }
  void ClearSearchMarks();
  std::string Address() const;
  std::pair<int, int> ScrollPosition() const { return scroll_; }
  void ScrollTo(int x, int y);
  void StartPrintPreview();

  TUserInterfaceOptions UserInterfaceOptions() const { return userInterfaceOptions_; }
  void SetUserInterfaceOptions(TUserInterfaceOptions options);
  bool Silent() const { return silent_; }
  void SetSilent(bool silent) { silent_ = silent; }

  void SetTemporaryFolder(const std::filesystem::path& folder) { temporaryFolder_ = folder; }
  // The user agent of this view's pages in place of the session's; nothing gives the session's.
  void SetOwnUserAgent(std::optional<std::string> userAgent) {
    ownUserAgent_ = std::move(userAgent);
  }

 private:
  void ConfigureSettings();
  void InstallCloseScript();
  void InstallEditingScript();
  void InstallMarkStyles();
  void ApplySessionUserAgent();
  // Starts a navigation of the viewer's own, again in a fresh web process should the page shown
  // be stuck.
  void StartNavigation(const std::function<void()>& navigate);
  Gtk::Window* ParentWindow() const;
  std::filesystem::path PrintFolder();
  void ShowPrintPreview(const std::filesystem::path& pdf, const std::string& error);

  // Engine signals, raised as the host's events (EngineEvents.cpp).
  void ConnectSignals();
  bool DecideNavigation(WebKitNavigationPolicyDecision* decision);
  TNavigationCause CauseOf(WebKitNavigationAction* action, const std::string& url);
  bool DecideNewWindow(WebKitNavigationPolicyDecision* decision);
  void OpenInThisView(WebKitNavigationAction* action);
  static bool OpensBeside(WebKitNavigationAction* action);
  bool HandsToDesktop(const std::string& url, TNavigationCause cause);
  bool DecideResponse(WebKitResponsePolicyDecision* decision);
  // A file of the document the engine cannot show, saved or opened as the reader chooses
  // (EngineDownloads.cpp).
  void OfferDownload(const std::string& url);
  void OpenAsFile(const std::string& url);
  void SaveAsFile(const std::string& url, const std::filesystem::path& target);
  void LoadChanged(WebKitLoadEvent event);
  void FocusPageUnlessTypingInABar();
  void NoteSearchResultFollowed(WebKitNavigationAction* action, const std::string& url);
  void HighlightSearchedWords();
  bool LoadFailed(const char* url, const GError* error);
  void TitleChanged();
  void AddressChanged();
  void RaiseUntitledPageName();
  void MouseTargetChanged(WebKitHitTestResult* hit);
  void RaiseStatusText(const std::string& text);
  void RaiseCommandStates();
  void RaiseWindowClosing();
  bool RaiseNavigateError(const std::string& url, int statusCode);

  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer self);
  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
  static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* url, GError* error,
                               gpointer self);
  static void OnTitle(GObject*, GParamSpec*, gpointer self);
  static void OnAddress(GObject*, GParamSpec*, gpointer self);
  static void OnMouseTarget(WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer self);
  static gboolean OnPointerLeft(GtkWidget*, GdkEventCrossing*, gpointer self);
  static void OnHistoryChanged(WebKitBackForwardList*, gpointer, gpointer, gpointer self);
  static void OnClose(WebKitWebView*, gpointer self);
  static void OnCloseMessage(WebKitUserContentManager*, WebKitJavascriptResult*, gpointer self);
  static void OnScrollMessage(WebKitUserContentManager*, WebKitJavascriptResult* message,
                              gpointer self);
  static void OnEditingMessage(WebKitUserContentManager*, WebKitJavascriptResult* message,
                               gpointer self);
  static gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog*, gpointer self);

  TWebHost& host_;
  WebKitWebView* view_ = nullptr;
  Gtk::Widget* widget_ = nullptr;
  WebKitUserStyleSheet* hiddenScrollBars_ = nullptr;
  TDocumentCommands documentCommands_{*this};
  TUserInterfaceOptions userInterfaceOptions_{TUserInterfaceOption::EnablesFormsAutoComplete,
                                              TUserInterfaceOption::EnableThemes};
  bool silent_ = false;
  bool hasDocument_ = false;
  bool editing_ = false;
  // Between a load's start and its end; a jump within the page starts no load.
  bool loadUnderway_ = false;
  // The address last told of, as a page complete or a jump within it.
  std::string toldAddress_;
  std::pair<int, int> scroll_;
  std::string statusText_;
  std::string appliedUserAgent_;
  std::optional<std::string> ownUserAgent_;
  std::filesystem::path temporaryFolder_;
  std::filesystem::path ownFolder_;
  GtkWidget* layout_ = nullptr;
  std::unique_ptr<TFindBar> findBar_;
  std::unique_ptr<TSearchBar> searchBar_;
  // The address of a new window the reader opened, until its navigation in this view is decided.
  std::optional<std::string> readerOpensInThisView_;
  // The text searched for on the results page a followed link came from, marked once it loads.
  std::string wordsToMark_;
  // Whether the page shown carries the searched words' marks; pages are counted as they commit,
  // so marks made for a page the reader has left are not counted.
  bool marksShown_ = false;
  unsigned long pagesShown_ = 0;
  std::unique_ptr<TPrintPreview> printPreview_;
  std::unique_ptr<TPagePolicy> pagePolicy_;
  std::unique_ptr<TPageWatch> pageWatch_;
  // Print jobs finish after the host may be gone; they check this first.
  std::shared_ptr<TEngineView*> alive_ = std::make_shared<TEngineView*>(this);
};

}  // namespace tomelet
