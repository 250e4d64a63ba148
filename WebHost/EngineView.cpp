#include "WebHost/EngineView.h"

#include <gtkmm/messagedialog.h>
#include <gtkmm/window.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "WebHost/FindBar.h"
#include "WebHost/PagePolicy.h"
#include "WebHost/PageResources.h"
#include "WebHost/PageWatch.h"
#include "WebHost/PrintPreview.h"
#include "WebHost/SchemeBridge.h"
#include "WebHost/SearchBar.h"
#include "WebHost/TextSize.h"
#include "WebHost/UserAgent.h"
#include "WebHost/ViewerPages.h"
#include "document/DocumentAddress.h"
#include "platform/files/TemporaryFolder.h"
#include "platform/urlmon/UrlMon.h"

namespace tomelet {
namespace {

// The names under which the page scripts post to the host.
constexpr const char* kCloseMessage = "tomeletClose";
constexpr const char* kEditingMessage = "tomeletEditing";
constexpr const char* kScrollMessage = "tomeletScroll";
constexpr std::string_view kBlankPage = "about:blank";
// The program the engine confines its web processes with.
constexpr const char* kSandboxProgram = "/usr/bin/bwrap";

void AddScript(WebKitUserContentManager* content, std::string_view name,
               WebKitUserContentInjectedFrames frames) {
  WebKitUserScript* script =
      webkit_user_script_new(PageResource(name).c_str(), frames,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(content, script);
  webkit_user_script_unref(script);
}

// A fresh file of our own in folder, so nothing already there is overwritten.
std::filesystem::path NewPdfFile(const std::filesystem::path& folder) {
  std::string pattern = (folder / "print-preview-XXXXXX.pdf").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemps(name.data(), 4);
  if (fd < 0)
    throw EWebBrowserError(E_FAIL, "Cannot create the print preview file in " + folder.string());
  close(fd);
  return std::filesystem::path(name.data());
}

// Documents come from strangers and their scripts run in the web process, which bubblewrap
// confines before its first page: it sees none of the reader's files and reaches the viewer's
// own pages only through the "tome" scheme. The sandbox must be on before any web process starts.
WebKitWebContext* ViewerContext() {
  WebKitWebContext* context = webkit_web_context_get_default();
  static const bool prepared = [context] {
    if (g_file_test(kSandboxProgram, G_FILE_TEST_IS_EXECUTABLE))
      webkit_web_context_set_sandbox_enabled(context, TRUE);
    else
      g_warning("%s is missing: pages run without the web process sandbox", kSandboxProgram);
    RegisterDocumentScheme(context);
    return true;
  }();
  static_cast<void>(prepared);
  return context;
}

}  // namespace

// Pages are painted by the processor (see ConfigureSettings), so the engine's buffer sharing
// through graphics memory buys nothing; checking for it loaded and started OpenGL in the window's
// process at every start, which without a graphics card is the processor's own renderer (4 to 5
// MiB more at the peak of a start). A reader's own choice in the environment is kept.
void PrepareEngineProcess() {
  setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
}

std::string EngineText(const char* text) {
  return text ? text : "";
}

void ShowError(Gtk::Window* parent, const std::string& text) {
  Gtk::MessageDialog dialog(text, false, Gtk::MESSAGE_ERROR, Gtk::BUTTONS_OK, true);
  if (parent)
    dialog.set_transient_for(*parent);
  dialog.run();
}

TEngineView::TEngineView(TWebHost& host) : host_(host) {
  WebKitWebContext* context = ViewerContext();
  view_ = WEBKIT_WEB_VIEW(g_object_ref_sink(webkit_web_view_new_with_context(context)));
  layout_ = GTK_WIDGET(g_object_ref_sink(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0)));
  gtk_box_pack_end(GTK_BOX(layout_), GTK_WIDGET(view_), TRUE, TRUE, 0);
  widget_ = Glib::wrap(layout_);
  ConfigureSettings();
  InstallCloseScript();
  InstallEditingScript();
  InstallMarkStyles();
  ConnectSignals();
  pagePolicy_ = std::make_unique<TPagePolicy>(view_, host_);
  pageWatch_ = std::make_unique<TPageWatch>(view_);
  AttachViewerPages(view_, &host_.SearchPage);
  gtk_widget_show(GTK_WIDGET(view_));
  gtk_widget_show(layout_);
}

TEngineView::~TEngineView() {
  findBar_.reset();
  searchBar_.reset();
  AttachViewerPages(view_, nullptr);
  printPreview_.reset();
  pagePolicy_.reset();
  pageWatch_.reset();
  WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view_);
  g_signal_handlers_disconnect_by_data(content, this);
  g_signal_handlers_disconnect_by_data(webkit_web_view_get_back_forward_list(view_), this);
  g_signal_handlers_disconnect_by_data(view_, this);
  if (hiddenScrollBars_)
    webkit_user_style_sheet_unref(hiddenScrollBars_);
  gtk_widget_destroy(GTK_WIDGET(view_));
  g_object_unref(view_);
  gtk_widget_destroy(layout_);
  g_object_unref(layout_);
  if (!ownFolder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(ownFolder_, ignored);
  }
}

void TEngineView::ConfigureSettings() {
  WebKitSettings* settings = webkit_web_view_get_settings(view_);
  webkit_settings_set_zoom_text_only(settings, TRUE);
  // Documents are text and pictures, which the processor paints well: compositing on the graphics
  // card cost the web process about 80 MiB and its start the setting up of OpenGL.
  webkit_settings_set_hardware_acceleration_policy(settings,
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  // New windows open in this view, so a script's window is no pop-up to hold back.
  webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);
  ApplySessionUserAgent();
}

// A page's window.close() reaches the host even where the engine would not close the view.
void TEngineView::InstallCloseScript() {
  WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view_);
  webkit_user_content_manager_register_script_message_handler(content, kCloseMessage);
  AddScript(content, "close.js", WEBKIT_USER_CONTENT_INJECT_TOP_FRAME);
}

// The host learns whether the reader types in a field, and where the page is scrolled.
void TEngineView::InstallEditingScript() {
  WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view_);
  webkit_user_content_manager_register_script_message_handler(content, kEditingMessage);
  webkit_user_content_manager_register_script_message_handler(content, kScrollMessage);
  AddScript(content, "editing.js", WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES);
  AddScript(content, "scroll.js", WEBKIT_USER_CONTENT_INJECT_TOP_FRAME);
}

// The find and search marks are styled by the viewer for every page and every frame.
void TEngineView::InstallMarkStyles() {
  WebKitUserStyleSheet* marks = webkit_user_style_sheet_new(
      PageResource("marks.css").c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
      WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
  webkit_user_content_manager_add_style_sheet(webkit_web_view_get_user_content_manager(view_),
                                              marks);
  webkit_user_style_sheet_unref(marks);
}

std::string TEngineView::Address() const {
  return EngineText(webkit_web_view_get_uri(view_));
}

void TEngineView::ScrollTo(int x, int y) {
  const std::string script =
      "window.scrollTo(" + std::to_string(x) + ", " + std::to_string(y) + ");";
  webkit_web_view_evaluate_javascript(view_, script.c_str(), -1, nullptr, nullptr, nullptr, nullptr,
                                      nullptr);
}

bool TEngineView::PageIsEditing() const {
  return editing_ && gtk_widget_has_focus(GTK_WIDGET(view_));
}

void TEngineView::Reload() {
  ApplySessionUserAgent();
  StartNavigation([view = view_] { webkit_web_view_reload(view); });
}

void TEngineView::StartNavigation(const std::function<void()>& navigate) {
  navigate();
  pageWatch_->Navigated(navigate);
}

// The session's user agent may be set at any time before a navigation, so it is read each time.
// It holds the record's bytes as they stand; the engine takes only one line of HTTP's form.
void TEngineView::ApplySessionUserAgent() {
  const std::string userAgent = EngineUserAgent(ownUserAgent_.value_or(SessionUserAgent()));
  if (userAgent == appliedUserAgent_)
    return;
  webkit_settings_set_user_agent(webkit_web_view_get_settings(view_),
                                 userAgent.empty() ? nullptr : userAgent.c_str());
  appliedUserAgent_ = userAgent;
}

void TEngineView::Load(const std::string& url) {
  ApplySessionUserAgent();
  const auto load = [view = view_, url] { webkit_web_view_load_uri(view, url.c_str()); };
  if (url != kBlankPage) {
    StartNavigation(load);
    return;
  }
  // With a stuck page's process gone the view is blank already; a fresh process only to show a
  // blank page would keep a closing viewer waiting for it to start.
  load();
  pageWatch_->Navigated([this, url] {
    if (host_.Events.OnDocumentComplete)
      host_.Events.OnDocumentComplete(url);
  });
}

void TEngineView::GoBack() {
  if (auto* item =
          webkit_back_forward_list_get_back_item(webkit_web_view_get_back_forward_list(view_)))
    GoToHistoryItem(item);
}

void TEngineView::GoForward() {
  if (auto* item =
          webkit_back_forward_list_get_forward_item(webkit_web_view_get_back_forward_list(view_)))
    GoToHistoryItem(item);
}

void TEngineView::GoToHistoryItem(WebKitBackForwardListItem* item) {
  ApplySessionUserAgent();
  std::shared_ptr<WebKitBackForwardListItem> kept(WEBKIT_BACK_FORWARD_LIST_ITEM(g_object_ref(item)),
                                                  g_object_unref);
  StartNavigation(
      [view = view_, kept] { webkit_web_view_go_to_back_forward_list_item(view, kept.get()); });
}

IOleCommandTarget* TEngineView::Document() {
  return hasDocument_ ? &documentCommands_ : nullptr;
}

void TEngineView::Copy() {
  webkit_web_view_execute_editing_command(view_, WEBKIT_EDITING_COMMAND_COPY);
}

// The engine takes the script, the zoom and the second script in that order, so the reader goes
// on reading at the element that was at the top of the view. The viewer's own script world keeps
// the note away from the page's scripts.
void TEngineView::SetTextSize(int textSize) {
  const auto level = TextSizeZoomLevel(textSize);
  if (!level)
    return;
  const auto keepPlace = [this](const char* step) {
    const std::string script = PageResource("keep-place.js") + "('" + step + "');";
    webkit_web_view_evaluate_javascript(view_, script.c_str(), -1, kViewerWorld, nullptr, nullptr,
                                        nullptr, nullptr);
  };
  keepPlace("remember");
  webkit_web_view_set_zoom_level(view_, *level);
  keepPlace("restore");
}

Gtk::Window* TEngineView::ParentWindow() const {
  GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view_));
  if (!gtk_widget_is_toplevel(top) || !GTK_IS_WINDOW(top))
    return nullptr;
  return Glib::wrap(GTK_WINDOW(top));
}

// The bar is made on first use, so a start without Find pays nothing for it.
void TEngineView::ShowFindBar() {
  if (!findBar_) {
    findBar_ = std::make_unique<TFindBar>(view_, [this](const std::string& status) {
      if (host_.FindStatus)
        host_.FindStatus(status);
    });
    gtk_box_pack_start(GTK_BOX(layout_), GTK_WIDGET(findBar_->gobj()), FALSE, FALSE, 0);
  }
  CloseSearchBar();
  findBar_->Open();
}

bool TEngineView::FindBarOpen() const {
  return findBar_ && findBar_->IsOpen();
}

void TEngineView::CloseFindBar() {
  if (findBar_)
    findBar_->Close();
}

void TEngineView::ShowSearchBar() {
  if (!searchBar_) {
    searchBar_ = std::make_unique<TSearchBar>(
        view_, [this](const std::string& address) { Load(address); }, host_);
    gtk_box_pack_start(GTK_BOX(layout_), GTK_WIDGET(searchBar_->gobj()), FALSE, FALSE, 0);
  }
  if (findBar_)
    findBar_->Close();
  searchBar_->Open();
}

bool TEngineView::SearchBarOpen() const {
  return searchBar_ && searchBar_->IsOpen();
}

void TEngineView::CloseSearchBar() {
  if (searchBar_)
    searchBar_->Close();
}

// Only a link followed from a results page carries its words on; Back and Forward do not.
void TEngineView::NoteSearchResultFollowed(WebKitNavigationAction* action, const std::string& url) {
  if (webkit_navigation_action_get_navigation_type(action) != WEBKIT_NAVIGATION_TYPE_LINK_CLICKED)
    return;
  const std::string searched = SearchedText(Address());
  wordsToMark_ = HasDocumentPrefix(url) ? searched : std::string();
}

void TEngineView::HighlightSearchedWords() {
  if (wordsToMark_.empty())
    return;
  HighlightWords(view_, std::exchange(wordsToMark_, {}),
                 [alive = std::weak_ptr<TEngineView*>(alive_), page = pagesShown_](int marked) {
                   const auto self = alive.lock();
                   if (!self || (*self)->pagesShown_ != page)
                     return;
                   (*self)->marksShown_ = marked > 0;
                   if ((*self)->host_.SearchStatus)
                     (*self)->host_.SearchStatus("highlighted " + std::to_string(marked));
                 });
}

// The marks serve the first look at a page from the results; the reader's next move ends them.
void TEngineView::ClearSearchMarks() {
  if (!std::exchange(marksShown_, false))
    return;
  HighlightWords(view_, {}, [](int) {});
  if (host_.SearchStatus)
    host_.SearchStatus("marks cleared");
}

std::filesystem::path TEngineView::PrintFolder() {
  if (!temporaryFolder_.empty())
    return temporaryFolder_;
  if (ownFolder_.empty()) {
    std::string pattern = (TemporaryFolderPath() / "tomelet-print-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      throw EWebBrowserError(E_FAIL, "Cannot create a folder for the print preview");
    ownFolder_ = pattern;
  }
  return ownFolder_;
}

void TEngineView::StartPrintPreview() {
  const auto pdf = NewPdfFile(PrintFolder());
  PrintToPdf(view_, pdf, [alive = std::weak_ptr<TEngineView*>(alive_), pdf](std::string error) {
    if (const auto self = alive.lock()) {
      (*self)->ShowPrintPreview(pdf, error);
      return;
    }
    std::error_code ignored;
    std::filesystem::remove(pdf, ignored);
  });
}

void TEngineView::ShowPrintPreview(const std::filesystem::path& pdf, const std::string& error) {
  if (!error.empty()) {
    std::error_code ignored;
    std::filesystem::remove(pdf, ignored);
    ShowError(ParentWindow(), "The page could not be printed: " + error);
    return;
  }
  try {
    printPreview_ = std::make_unique<TPrintPreview>(ParentWindow(), view_, pdf);
    printPreview_->present();
  } catch (const std::exception& failure) {
    ShowError(ParentWindow(), failure.what());
  }
}

void TEngineView::SetUserInterfaceOptions(TUserInterfaceOptions options) {
  userInterfaceOptions_ = options;
  WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view_);
  const bool hide = options.Contains(TUserInterfaceOption::DontUseScrollBars);
  if (hide && !hiddenScrollBars_) {
    hiddenScrollBars_ = webkit_user_style_sheet_new(PageResource("hidden-scroll-bars.css").c_str(),
                                                    WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                    WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(content, hiddenScrollBars_);
  } else if (!hide && hiddenScrollBars_) {
    webkit_user_content_manager_remove_style_sheet(content, hiddenScrollBars_);
    webkit_user_style_sheet_unref(hiddenScrollBars_);
    hiddenScrollBars_ = nullptr;
  }
}

}  // namespace tomelet
