// The engine's signals, raised as the host's events.
#include <cstdio>
#include <string>

#include "WebHost/EngineView.h"
#include "WebHost/FindBar.h"
#include "WebHost/PagePolicy.h"
#include "WebHost/PageWatch.h"
#include "WebHost/SchemeBridge.h"
#include "WebHost/SearchBar.h"
#include "WebHost/Urls.h"

namespace tomelet {
namespace {

bool IsCancellation(const GError* error) {
  return g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
         g_error_matches(error, WEBKIT_POLICY_ERROR,
                         WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
         g_error_matches(error, WEBKIT_DOWNLOAD_ERROR, WEBKIT_DOWNLOAD_ERROR_CANCELLED_BY_USER);
}

// The status a failed load reports: 404 for a missing target, the handler's own result code when
// it failed, else the platform's code for a resource that could not be reached.
int StatusCodeOf(const GError* error) {
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND) ||
      g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_FILE_DOES_NOT_EXIST))
    return 404;
  if (error->domain == RequestErrorQuark())
    return error->code;
  return INET_E_RESOURCE_NOT_FOUND;
}

}  // namespace

void TEngineView::ConnectSignals() {
  g_signal_connect(view_, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(view_, "create", G_CALLBACK(OnCreate), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(view_, "load-failed", G_CALLBACK(OnLoadFailed), this);
  g_signal_connect(view_, "notify::title", G_CALLBACK(OnTitle), this);
  g_signal_connect(view_, "notify::uri", G_CALLBACK(OnAddress), this);
  g_signal_connect(view_, "notify::is-loading", G_CALLBACK(OnAddress), this);
  g_signal_connect(view_, "mouse-target-changed", G_CALLBACK(OnMouseTarget), this);
  g_signal_connect(view_, "leave-notify-event", G_CALLBACK(OnPointerLeft), this);
  g_signal_connect(view_, "close", G_CALLBACK(OnClose), this);
  g_signal_connect(view_, "script-dialog", G_CALLBACK(OnScriptDialog), this);
  g_signal_connect(webkit_web_view_get_back_forward_list(view_), "changed",
                   G_CALLBACK(OnHistoryChanged), this);
  g_signal_connect(webkit_web_view_get_user_content_manager(view_),
                   "script-message-received::tomeletClose", G_CALLBACK(OnCloseMessage), this);
  g_signal_connect(webkit_web_view_get_user_content_manager(view_),
                   "script-message-received::tomeletEditing", G_CALLBACK(OnEditingMessage), this);
  g_signal_connect(webkit_web_view_get_user_content_manager(view_),
                   "script-message-received::tomeletScroll", G_CALLBACK(OnScrollMessage), this);
}

gboolean TEngineView::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                     WebKitPolicyDecisionType type, gpointer self) {
  auto& view = *static_cast<TEngineView*>(self);
  // The handlers may run a nested main loop; the decision must outlive them.
  g_object_ref(decision);
  bool handled = false;
  switch (type) {
    case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION:
      handled = view.DecideNavigation(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
      break;
    case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION:
      handled = view.DecideNewWindow(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
      break;
    case WEBKIT_POLICY_DECISION_TYPE_RESPONSE:
      handled = view.DecideResponse(WEBKIT_RESPONSE_POLICY_DECISION(decision));
      break;
  }
  g_object_unref(decision);
  return handled;
}

bool TEngineView::DecideNavigation(WebKitNavigationPolicyDecision* decision) {
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(decision);
  // The handler's rewrite of its copy changes only what the handler itself does with it.
  std::string url =
      EngineText(webkit_uri_request_get_uri(webkit_navigation_action_get_request(action)));
  if (host_.OpenBeside && OpensBeside(action)) {
    webkit_policy_decision_ignore(WEBKIT_POLICY_DECISION(decision));
    host_.OpenBeside(url);
    return true;
  }
  const TNavigationCause cause = CauseOf(action, url);
  bool cancel = false;
  if (host_.Events.OnBeforeNavigate2)
    host_.Events.OnBeforeNavigate2(url, cause, cancel);
  if (!cancel && (HandsToDesktop(url, cause) || pagePolicy_->RefusesNavigation(action)))
    cancel = true;
  if (cancel) {
    webkit_policy_decision_ignore(WEBKIT_POLICY_DECISION(decision));
    return true;
  }
  ClearSearchMarks();
  NoteSearchResultFollowed(action, url);
  webkit_policy_decision_use(WEBKIT_POLICY_DECISION(decision));
  return true;
}

// The viewer has one window: a page's new window opens in it, as a navigation of its own. A form
// sent to a new window stays under the form policy, which the re-issued request would not see.
bool TEngineView::DecideNewWindow(WebKitNavigationPolicyDecision* decision) {
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(decision);
  webkit_policy_decision_ignore(WEBKIT_POLICY_DECISION(decision));
  if (host_.OpenBeside && OpensBeside(action)) {
    host_.OpenBeside(
        EngineText(webkit_uri_request_get_uri(webkit_navigation_action_get_request(action))));
    return true;
  }
  OpenInThisView(action);
  return true;
}

// A link the reader clicked with the middle button or with Ctrl held: as browsers do, the reader
// asks for it beside the page, not in its place. A script's window never counts.
bool TEngineView::OpensBeside(WebKitNavigationAction* action) {
  if (webkit_navigation_action_get_navigation_type(action) != WEBKIT_NAVIGATION_TYPE_LINK_CLICKED)
    return false;
  return webkit_navigation_action_get_mouse_button(action) == GDK_BUTTON_MIDDLE ||
         (webkit_navigation_action_get_modifiers(action) & GDK_CONTROL_MASK) != 0;
}

// Scripts that open windows reach the view's create request without a new-window decision.
GtkWidget* TEngineView::OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer self) {
  static_cast<TEngineView*>(self)->OpenInThisView(action);
  return nullptr;
}

// The engine's own flag says whether a click or a key of the reader led to the navigation.
TNavigationCause TEngineView::CauseOf(WebKitNavigationAction* action, const std::string& url) {
  const bool reopened = readerOpensInThisView_ && *readerOpensInThisView_ == url;
  readerOpensInThisView_.reset();
  return webkit_navigation_action_is_user_gesture(action) || reopened
             ? TNavigationCause::ReaderAction
             : TNavigationCause::Other;
}

// A new window the reader asked for loads here as a request of the viewer's own, which the engine
// no longer counts as the reader's; the next navigation to that address still does.
void TEngineView::OpenInThisView(WebKitNavigationAction* action) {
  if (pagePolicy_->RefusesNavigation(action))
    return;
  WebKitURIRequest* request = webkit_navigation_action_get_request(action);
  if (webkit_navigation_action_is_user_gesture(action))
    readerOpensInThisView_ = EngineText(webkit_uri_request_get_uri(request));
  else
    readerOpensInThisView_.reset();
  g_object_ref(request);
  webkit_web_view_load_request(view_, request);
  g_object_unref(request);
}

// The engine shows only its own schemes; the platform's browser handed the others (mail, phone,
// chat) to the desktop. A page's script alone must not start a program of the reader's.
bool TEngineView::HandsToDesktop(const std::string& url, TNavigationCause cause) {
  if (IsShownByEngine(url))
    return false;
  if (cause == TNavigationCause::ReaderAction && host_.OpenWithDefaultProgram)
    host_.OpenWithDefaultProgram(url);
  return true;
}

bool TEngineView::DecideResponse(WebKitResponsePolicyDecision* decision) {
  WebKitURIResponse* response = webkit_response_policy_decision_get_response(decision);
  const std::string url = EngineText(webkit_uri_response_get_uri(response));
  const auto status = static_cast<int>(webkit_uri_response_get_status_code(response));
  if (status >= 400 && webkit_response_policy_decision_is_main_frame_main_resource(decision)) {
    if (!RaiseNavigateError(url, status))
      return false;
    webkit_policy_decision_ignore(WEBKIT_POLICY_DECISION(decision));
    return true;
  }
  if (IsDocumentUrl(url) && !webkit_response_policy_decision_is_mime_type_supported(decision)) {
    webkit_policy_decision_ignore(WEBKIT_POLICY_DECISION(decision));
    OfferDownload(url);
    return true;
  }
  return false;
}

// Each new page takes the keyboard, so the reading keys scroll it and its autofocus field takes
// typing at once; only a reader typing in the find or search bar keeps typing there.
void TEngineView::FocusPageUnlessTypingInABar() {
  GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view_));
  GtkWidget* focus = GTK_IS_WINDOW(top) ? gtk_window_get_focus(GTK_WINDOW(top)) : nullptr;
  const auto inBar = [focus](TPageBar* bar) {
    return focus && bar && gtk_widget_is_ancestor(focus, GTK_WIDGET(bar->gobj()));
  };
  if (!inBar(findBar_.get()) && !inBar(searchBar_.get()))
    gtk_widget_grab_focus(GTK_WIDGET(view_));
}

void TEngineView::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  static_cast<TEngineView*>(self)->LoadChanged(event);
}

void TEngineView::LoadChanged(WebKitLoadEvent event) {
  if (event == WEBKIT_LOAD_STARTED)
    loadUnderway_ = true;
  if (event == WEBKIT_LOAD_COMMITTED) {
    pageWatch_->PageCommitted();
    hasDocument_ = true;
    editing_ = false;
    marksShown_ = false;
    ++pagesShown_;
    scroll_ = {};
    if (findBar_)
      findBar_->Forget();
    FocusPageUnlessTypingInABar();
    RaiseStatusText({});
    RaiseCommandStates();
  } else if (event == WEBKIT_LOAD_FINISHED) {
    loadUnderway_ = false;
    toldAddress_ = Address();
    RaiseUntitledPageName();
    HighlightSearchedWords();
    if (host_.Events.OnDocumentComplete)
      host_.Events.OnDocumentComplete(EngineText(webkit_web_view_get_uri(view_)));
  }
}

gboolean TEngineView::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* url, GError* error,
                                   gpointer self) {
  return static_cast<TEngineView*>(self)->LoadFailed(url, error);
}

// Returning true keeps the engine's own error page away, which is what a cancel asks for.
bool TEngineView::LoadFailed(const char* url, const GError* error) {
  if (IsCancellation(error))
    return false;
  return RaiseNavigateError(EngineText(url), StatusCodeOf(error));
}

bool TEngineView::RaiseNavigateError(const std::string& url, int statusCode) {
  bool cancel = false;
  if (host_.Events.OnNavigateError)
    host_.Events.OnNavigateError(url, statusCode, cancel);
  return cancel;
}

void TEngineView::OnTitle(GObject*, GParamSpec*, gpointer self) {
  static_cast<TEngineView*>(self)->TitleChanged();
}

// Between pages the engine has no title at all; a page names itself as it loads, and what is no
// page of HTML (a PDF, a text file, a picture) stands under its file name once loaded.
void TEngineView::TitleChanged() {
  const std::string title = EngineText(webkit_web_view_get_title(view_));
  if (!title.empty() && host_.Events.OnTitleChange)
    host_.Events.OnTitleChange(title);
}

void TEngineView::RaiseUntitledPageName() {
  if (!EngineText(webkit_web_view_get_title(view_)).empty() || !host_.Events.OnTitleChange)
    return;
  // A page's own title may come a moment after it finished loading.
  WebKitWebResource* page = webkit_web_view_get_main_resource(view_);
  WebKitURIResponse* response = page ? webkit_web_resource_get_response(page) : nullptr;
  const std::string type = response ? EngineText(webkit_uri_response_get_mime_type(response)) : "";
  if (type.find("html") != std::string::npos)
    return;
  const std::string name = AddressName(Address());
  if (!name.empty())
    host_.Events.OnTitleChange(name);
}

void TEngineView::OnAddress(GObject*, GParamSpec*, gpointer self) {
  static_cast<TEngineView*>(self)->AddressChanged();
}

// A jump within the page loads nothing: one the page makes changes the address alone, one the
// viewer asks for is a load that ends without starting. A load's own page is told of once
// complete, and a refused navigation ends where it began.
void TEngineView::AddressChanged() {
  if (webkit_web_view_is_loading(view_) || loadUnderway_ || Address() == toldAddress_)
    return;
  toldAddress_ = Address();
  if (host_.JumpedWithinPage)
    host_.JumpedWithinPage(toldAddress_);
}

void TEngineView::OnMouseTarget(WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer self) {
  static_cast<TEngineView*>(self)->MouseTargetChanged(hit);
}

void TEngineView::MouseTargetChanged(WebKitHitTestResult* hit) {
  std::string link;
  if (webkit_hit_test_result_context_is_link(hit))
    link = EngineText(webkit_hit_test_result_get_link_uri(hit));
  RaiseStatusText(link);
}

// The engine reports no target once the pointer leaves the page, so the link's text goes then.
gboolean TEngineView::OnPointerLeft(GtkWidget*, GdkEventCrossing*, gpointer self) {
  static_cast<TEngineView*>(self)->RaiseStatusText({});
  return FALSE;
}

void TEngineView::RaiseStatusText(const std::string& text) {
  if (text == statusText_)
    return;
  statusText_ = text;
  if (host_.Events.OnStatusTextChange)
    host_.Events.OnStatusTextChange(statusText_);
}

void TEngineView::OnHistoryChanged(WebKitBackForwardList*, gpointer, gpointer, gpointer self) {
  static_cast<TEngineView*>(self)->RaiseCommandStates();
}

void TEngineView::RaiseCommandStates() {
  if (!host_.Events.OnCommandStateChange)
    return;
  host_.Events.OnCommandStateChange(CSC_NAVIGATEBACK, webkit_web_view_can_go_back(view_));
  host_.Events.OnCommandStateChange(CSC_NAVIGATEFORWARD, webkit_web_view_can_go_forward(view_));
}

void TEngineView::OnClose(WebKitWebView*, gpointer self) {
  static_cast<TEngineView*>(self)->RaiseWindowClosing();
}

void TEngineView::OnCloseMessage(WebKitUserContentManager*, WebKitJavascriptResult*,
                                 gpointer self) {
  static_cast<TEngineView*>(self)->RaiseWindowClosing();
}

// This version of the engine's API hands script messages over as a result holding the value.
void TEngineView::OnEditingMessage(WebKitUserContentManager*, WebKitJavascriptResult* message,
                                   gpointer self) {
  JSCValue* editing = webkit_javascript_result_get_js_value(message);
  static_cast<TEngineView*>(self)->editing_ = jsc_value_to_boolean(editing);
}

void TEngineView::OnScrollMessage(WebKitUserContentManager*, WebKitJavascriptResult* message,
                                  gpointer self) {
  gchar* text = jsc_value_to_string(webkit_javascript_result_get_js_value(message));
  int x = 0, y = 0;
  if (text && std::sscanf(text, "%d %d", &x, &y) == 2)
    static_cast<TEngineView*>(self)->scroll_ = {x, y};
  g_free(text);
}

void TEngineView::RaiseWindowClosing() {
  bool cancel = false;
  if (host_.Events.OnWindowClosing)
    host_.Events.OnWindowClosing(false, cancel);
}

// A silent browser shows no dialogs of its own; the page's script gets the default answers.
gboolean TEngineView::OnScriptDialog(WebKitWebView*, WebKitScriptDialog*, gpointer self) {
  return static_cast<TEngineView*>(self)->silent_;
}

}  // namespace tomelet
