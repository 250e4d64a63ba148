// The document page's keyboard: shortcuts of the viewer's commands, Esc, full screen and reload.
// The window sees every key before the page does and hands it here, so only the keys named here
// are taken.
#include <gtk/gtk.h>

#include <utility>

#include "Unit1/TestTrace.h"
#include "Unit1/window/DocumentPage.h"

namespace tomelet {
namespace {

std::optional<TShortcut> ControlShortcut(guint key) {
  switch (key) {
    case GDK_KEY_f:
      return TShortcut::Find;
    case GDK_KEY_p:
      return TShortcut::Print;
    case GDK_KEY_d:
      return TShortcut::Bookmark;
    case GDK_KEY_w:
    case GDK_KEY_q:
      return TShortcut::Exit;
    case GDK_KEY_plus:
    case GDK_KEY_equal:
    case GDK_KEY_KP_Add:
      return TShortcut::TextLarger;
    case GDK_KEY_minus:
    case GDK_KEY_KP_Subtract:
      return TShortcut::TextSmaller;
    case GDK_KEY_0:
    case GDK_KEY_KP_0:
      return TShortcut::TextMedium;
    default:
      return std::nullopt;
  }
}

std::optional<TShortcut> AltShortcut(guint key) {
  switch (key) {
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home:
      return TShortcut::Home;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
      return TShortcut::Back;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
      return TShortcut::Forward;
    default:
      return std::nullopt;
  }
}

// Ctrl+plus needs Shift on most keyboards, so Shift is ignored for the plus key alone.
std::optional<TShortcut> ShortcutOf(guint key, guint modifiers) {
  if (key == GDK_KEY_plus)
    modifiers &= ~GDK_SHIFT_MASK;
  if (modifiers == GDK_CONTROL_MASK)
    return ControlShortcut(key);
  if (modifiers == GDK_MOD1_MASK)
    return AltShortcut(key);
  if (modifiers == (GDK_CONTROL_MASK | GDK_SHIFT_MASK) && key == GDK_KEY_f)
    return TShortcut::Search;
  return std::nullopt;
}

}  // namespace

bool TDocumentPage::HandleKey(GdkEventKey* key) {
  const guint modifiers = key->state & gtk_accelerator_get_default_mod_mask();
  const guint keyval = gdk_keyval_to_lower(key->keyval);
  if (modifiers == 0 && keyval == GDK_KEY_Escape)
    return HandleEscape(key);
  if (modifiers == 0 && keyval == GDK_KEY_F11) {
    frame_.ToggleFullScreen();
    return true;
  }
  if (modifiers == 0 && keyval == GDK_KEY_F10) {
    FocusToolBar();
    return true;
  }
  if (modifiers == 0 && keyval == GDK_KEY_F9) {
    logic_.Guarded([this] { logic_.RunShortcut(TShortcut::SidePane); });
    return true;
  }
  if (modifiers == 0 && keyval == GDK_KEY_F5) {
    logic_.Guarded([this] { webBrowser_->Reload(); });
    return true;
  }
  const auto shortcut = ShortcutOf(keyval, modifiers);
  bool ran = false;
  if (shortcut)
    logic_.Guarded([&] { ran = logic_.RunShortcut(*shortcut); });
  return ran;
}

bool TDocumentPage::HandleEscape(GdkEventKey* key) {
  // Esc in the side pane goes back to the page rather than ending the program.
  if (sidePane_->HasKeyboard()) {
    webBrowser_->Widget().child_focus(Gtk::DIR_TAB_FORWARD);
    return true;
  }
  const bool barOpen = webBrowser_->FindBarOpen() || webBrowser_->SearchBarOpen();
  switch (EscapeAction(webBrowser_->PageIsEditing(), barOpen, webBrowser_->SearchMarksShown(),
                       frame_.IsFullScreen())) {
    case TEscapeAction::ToPage:
      gtk_window_propagate_key_event(frame_.Window().gobj(), key);
      break;
    case TEscapeAction::CloseFindBar:
      webBrowser_->CloseFindBar();
      webBrowser_->CloseSearchBar();
      break;
    case TEscapeAction::ClearSearchMarks:
      webBrowser_->ClearSearchMarks();
      break;
    case TEscapeAction::LeaveFullScreen:
      frame_.ToggleFullScreen();
      break;
    case TEscapeAction::Exit:
      if (frame_.EscapeExits())
        Run(&TForm1Logic::Exit1Click);
      break;
  }
  return true;
}

// Menus show the keys that reach their commands; the keys themselves are handled above.
void TDocumentPage::ShowShortcut(Gtk::MenuItem& item, guint key, Gdk::ModifierType modifiers) {
  if (auto* label = dynamic_cast<Gtk::AccelLabel*>(item.get_child()))
    gtk_accel_label_set_accel(label->gobj(), key, static_cast<GdkModifierType>(modifiers));
}

}  // namespace tomelet
