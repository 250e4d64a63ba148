#include "WebHost/PagePolicy.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <string>

#include "WebHost/WebHost.h"

namespace tomelet {
namespace {

// Cross-origin requests of the pages that the engine lets through when cross-domain data is
// allowed. Never the reader's own files: a document comes from a stranger, and its scripts must
// not read the disk it is read from (file:// pages get no such access either).
const char* const kEveryOrigin[] = {"http://*/*", "https://*/*", "tome://*/*", nullptr};

std::uint32_t MenuKind(WebKitHitTestResult* hit) {
  if (webkit_hit_test_result_context_is_editable(hit))
    return static_cast<std::uint32_t>(TIEPopupMenu::rcmControl);
  if (webkit_hit_test_result_context_is_selection(hit))
    return static_cast<std::uint32_t>(TIEPopupMenu::rcmSelText);
  if (webkit_hit_test_result_context_is_image(hit))
    return static_cast<std::uint32_t>(TIEPopupMenu::rcmImage);
  if (webkit_hit_test_result_context_is_link(hit))
    return static_cast<std::uint32_t>(TIEPopupMenu::rcmAnchor);
  if (webkit_hit_test_result_context_is_media(hit))
    return static_cast<std::uint32_t>(TIEPopupMenu::rcmImgDynSrc);
  return static_cast<std::uint32_t>(TIEPopupMenu::rcmDefault);
}

// Letter keys count by their upper-case letter whatever the Shift state, as key codes do.
std::uint32_t KeyCode(guint keyval) {
  return keyval <= 0xFF ? gdk_keyval_to_upper(keyval) : 0;
}

// More presses than a reader makes while the page is slow to answer one.
constexpr std::size_t kKeysKept = 16;

bool IsSubmission(WebKitNavigationAction* action) {
  const WebKitNavigationType type = webkit_navigation_action_get_navigation_type(action);
  return type == WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED ||
         type == WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED;
}

}  // namespace

TPagePolicy::TPagePolicy(WebKitWebView* view, TWebHost& host) : view_(view), host_(host) {
  host_.HostPolicy.OnQueryService = [&host](const GUID& sid, const GUID& iid,
                                            ComPtr<IUnknown>& obj) {
    if (host.Events.OnQueryService)
      host.Events.OnQueryService(sid, iid, obj);
  };
  g_signal_connect(view_, "context-menu", G_CALLBACK(OnContextMenu), this);
  g_signal_connect(view_, "key-press-event", G_CALLBACK(OnKeyPress), this);
  g_signal_connect(view_, "scroll-event", G_CALLBACK(OnScroll), this);
  g_signal_connect(view_, "script-dialog", G_CALLBACK(OnScriptDialog), this);
  g_signal_connect(view_, "hierarchy-changed", G_CALLBACK(OnHierarchyChanged), this);
  FollowToplevel();
}

TPagePolicy::~TPagePolicy() {
  if (toplevel_)
    g_signal_handlers_disconnect_by_data(toplevel_, this);
  g_signal_handlers_disconnect_by_data(view_, this);
}

bool TPagePolicy::RefusesNavigation(WebKitNavigationAction* action) {
  ApplySecurity();
  return IsSubmission(action) && !host_.HostPolicy.PageSecurity().SubmitForms;
}

// The policy holds for every page alike, so the settings change only when the policy does.
void TPagePolicy::ApplySecurity() {
  const TPageSecurity security = host_.HostPolicy.PageSecurity();
  WebKitSettings* settings = webkit_web_view_get_settings(view_);
  if (webkit_settings_get_enable_javascript(settings) != security.Scripts)
    webkit_settings_set_enable_javascript(settings, security.Scripts);
  if (crossDomainApplied_ != security.CrossDomainData) {
    webkit_web_view_set_cors_allowlist(view_, security.CrossDomainData ? kEveryOrigin : nullptr);
    crossDomainApplied_ = security.CrossDomainData;
  }
}

gboolean TPagePolicy::OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent* event,
                                    WebKitHitTestResult* hit, gpointer self) {
  return static_cast<TPagePolicy*>(self)->ShowContextMenu(event, hit);
}

bool TPagePolicy::ShowContextMenu(GdkEvent* event, WebKitHitTestResult* hit) {
  const TContextMenuAnswer answer = host_.HostPolicy.ShowContextMenu(MenuKind(hit));
  if (answer.ShowPopupMenu && host_.PopupMenu)
    host_.PopupMenu(event);
  return answer.Result == S_OK;
}

gboolean TPagePolicy::OnKeyPress(GtkWidget*, GdkEventKey* key, gpointer self) {
  auto& policy = *static_cast<TPagePolicy*>(self);
  if (policy.FilterKey(*key))
    return TRUE;
  policy.NoteKeyGiven(*key);
  return FALSE;
}

bool TPagePolicy::FilterKey(const GdkEventKey& key) const {
  const TKeyStroke stroke{key.type == GDK_KEY_PRESS, (key.state & GDK_CONTROL_MASK) != 0,
                          (key.state & GDK_SHIFT_MASK) != 0, KeyCode(key.keyval)};
  return host_.HostPolicy.SwallowsShortcut(stroke);
}

// A press the page does not take comes back to the window as the same event, to act there as the
// window's own key; the view that is given it again lets it pass on.
void TPagePolicy::NoteKeyGiven(const GdkEventKey& key) {
  const auto given = std::find(keysGiven_.begin(), keysGiven_.end(), TKeyPress(key));
  if (given != keysGiven_.end()) {
    keysGiven_.erase(given);
    return;
  }
  keysGiven_.emplace_back(key);
  if (keysGiven_.size() > kKeysKept)
    keysGiven_.pop_front();
}

gboolean TPagePolicy::OnToplevelKeyPress(GtkWidget*, GdkEventKey* key, gpointer self) {
  return static_cast<TPagePolicy*>(self)->ReturnKeyToView(key);
}

// Until the view is given back the key the page did not take, it lets the next key it gets pass
// to the window instead of the page. A key that comes back after the keyboard moved on (to the
// find or search bar that the keys after it opened) would go to the bar, and the page would lose
// its next key: the first Tab on the results page would leave for the tool bar. The key was the
// page's, so it goes back to the view and nowhere else.
bool TPagePolicy::ReturnKeyToView(GdkEventKey* key) {
  if (gtk_window_get_focus(toplevel_) == GTK_WIDGET(view_) ||
      !gtk_widget_get_realized(GTK_WIDGET(view_)) || !WasGiven(*key))
    return false;
  gtk_widget_event(GTK_WIDGET(view_), reinterpret_cast<GdkEvent*>(key));
  return true;
}

bool TPagePolicy::WasGiven(const GdkEventKey& key) const {
  return std::find(keysGiven_.begin(), keysGiven_.end(), TKeyPress(key)) != keysGiven_.end();
}

gboolean TPagePolicy::OnScroll(GtkWidget*, GdkEventScroll*, gpointer self) {
  return static_cast<TPagePolicy*>(self)->FilterScroll();
}

// The turn that brings the focus into the page scrolls nothing; the next one scrolls.
bool TPagePolicy::FilterScroll() {
  const bool focusInWindow =
      toplevel_ && gtk_window_is_active(toplevel_) && gtk_window_get_focus(toplevel_) != nullptr;
  const bool focusInPage = gtk_widget_is_focus(GTK_WIDGET(view_));
  if (!WheelTurnMovesFocus(true, focusInPage, focusInWindow))
    return false;
  gtk_widget_grab_focus(GTK_WIDGET(view_));
  return true;
}

void TPagePolicy::OnHierarchyChanged(GtkWidget*, GtkWidget*, gpointer self) {
  static_cast<TPagePolicy*>(self)->FollowToplevel();
}

void TPagePolicy::FollowToplevel() {
  GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view_));
  GtkWindow* window = gtk_widget_is_toplevel(top) && GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr;
  if (window == toplevel_)
    return;
  if (toplevel_)
    g_signal_handlers_disconnect_by_data(toplevel_, this);
  toplevel_ = window;
  if (!toplevel_)
    return;
  g_signal_connect(toplevel_, "notify::is-active", G_CALLBACK(OnActiveChanged), this);
  g_signal_connect(toplevel_, "key-press-event", G_CALLBACK(OnToplevelKeyPress), this);
}

void TPagePolicy::OnActiveChanged(GObject*, GParamSpec*, gpointer self) {
  static_cast<TPagePolicy*>(self)->ToplevelActiveChanged();
}

// Coming back to the viewer puts the keyboard focus where it was: in the page, if it was there.
void TPagePolicy::ToplevelActiveChanged() {
  if (!gtk_window_is_active(toplevel_)) {
    pageHadFocus_ = gtk_widget_is_focus(GTK_WIDGET(view_));
    return;
  }
  if (pageHadFocus_ && !gtk_widget_has_focus(GTK_WIDGET(view_)))
    gtk_widget_grab_focus(GTK_WIDGET(view_));
}

gboolean TPagePolicy::OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer self) {
  return static_cast<TPagePolicy*>(self)->ShowScriptDialog(dialog);
}

}  // namespace tomelet
