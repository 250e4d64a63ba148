// The host's answers applied to the engine: our context menu instead of the engine's, blocked
// Ctrl shortcuts, the URL security policy as engine settings, the page's script dialogs shown by
// the viewer, the focus rules for window activation and the mouse wheel, and the keys the page
// did not take.
#pragma once

#include <webkit2/webkit2.h>

#include <deque>
#include <optional>

namespace tomelet {

class TWebHost;

class TPagePolicy {
 public:
  // Connects to the view; the host's own signal handlers must be connected first.
  TPagePolicy(WebKitWebView* view, TWebHost& host);
  ~TPagePolicy();
  TPagePolicy(const TPagePolicy&) = delete;
  TPagePolicy& operator=(const TPagePolicy&) = delete;

  // Brings the engine's settings up to the security policy and answers whether this navigation
  // is one the policy forbids.
  bool RefusesNavigation(WebKitNavigationAction* action);

 private:
  void ApplySecurity();
  bool ShowContextMenu(GdkEvent* event, WebKitHitTestResult* hit);
  bool FilterKey(const GdkEventKey& key) const;
  void NoteKeyGiven(const GdkEventKey& key);
  bool ReturnKeyToView(GdkEventKey* key);
  bool WasGiven(const GdkEventKey& key) const;
  bool FilterScroll();
  bool ShowScriptDialog(WebKitScriptDialog* dialog);
  void FollowToplevel();
  void ToplevelActiveChanged();

  static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent* event,
                                WebKitHitTestResult* hit, gpointer self);
  static gboolean OnKeyPress(GtkWidget*, GdkEventKey* key, gpointer self);
  static gboolean OnToplevelKeyPress(GtkWidget*, GdkEventKey* key, gpointer self);
  static gboolean OnScroll(GtkWidget*, GdkEventScroll*, gpointer self);
  static gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer self);
  static void OnHierarchyChanged(GtkWidget*, GtkWidget*, gpointer self);
  static void OnActiveChanged(GObject*, GParamSpec*, gpointer self);

  WebKitWebView* view_;
  TWebHost& host_;
  // The cross-domain answer the view was last given; none before the first page.
  std::optional<bool> crossDomainApplied_;
  GtkWindow* toplevel_ = nullptr;
  bool pageHadFocus_ = false;
  // A key press as the engine hands it back: the same event, field for field.
  struct TKeyPress {
    explicit TKeyPress(const GdkEventKey& key)
        : Time(key.time), Code(key.hardware_keycode), Keyval(key.keyval), State(key.state) {}
    bool operator==(const TKeyPress&) const = default;
    guint32 Time;
    guint16 Code;
    guint Keyval;
    guint State;
  };
  // The latest presses the page was given; those it takes never come back, so only a few are kept.
  std::deque<TKeyPress> keysGiven_;
};

}  // namespace tomelet
