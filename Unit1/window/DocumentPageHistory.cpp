// The menus of Back and Forward: a right click, a long press, or Down (or the menu key) on the
// button with the keyboard in it lists the pages each leads to, the nearest first; the history
// itself goes from one session to the next with the document.
#include <gtk/gtk.h>

#include "Unit1/TestTrace.h"
#include "Unit1/window/DocumentPage.h"

namespace tomelet {

void TDocumentPage::BuildHistoryMenus() {
  for (auto [button, back] : {std::pair{&ButtonBack, true}, std::pair{&ButtonForward, false}}) {
    Gtk::Widget* face = button->get_child();
    face->signal_button_press_event().connect(
        [this, button, back](GdkEventButton* press) {
          if (press->button != GDK_BUTTON_SECONDARY)
            return false;
          ShowHistoryMenu(*button, back, reinterpret_cast<GdkEvent*>(press));
          return true;
        },
        false);
    face->signal_key_press_event().connect(
        [this, button, back](GdkEventKey* key) {
          const bool shifted = (key->state & GDK_SHIFT_MASK) != 0;
          if (key->keyval != GDK_KEY_Down && key->keyval != GDK_KEY_KP_Down &&
              key->keyval != GDK_KEY_Menu && !(shifted && key->keyval == GDK_KEY_F10))
            return false;
          ShowHistoryMenu(*button, back, reinterpret_cast<GdkEvent*>(key));
          return true;
        },
        false);
    auto longPress = Gtk::GestureLongPress::create(*face);
    // The menu grabs the pointer with the press that began the gesture.
    longPress->signal_pressed().connect(
        [this, button, back, press = longPress.get()](double, double) {
          ShowHistoryMenu(*button, back, press->get_last_event(press->get_current_sequence()));
        });
    historyPresses_.push_back(longPress);
  }
  historyMenu_.attach_to_widget(*this);
}

void TDocumentPage::ShowHistoryMenu(Gtk::ToolButton& button, bool back, const GdkEvent* trigger) {
  for (Gtk::Widget* item : historyMenu_.get_children())
    historyMenu_.remove(*item);
  const auto pages = webBrowser_->HistoryPages(back);
  if (pages.empty())
    return;
  std::string traced = back ? "Back:" : "Forward:";
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const auto& label = pages[i].Title.empty() ? pages[i].Address : pages[i].Title;
    auto* item = Gtk::make_managed<Gtk::MenuItem>(label);
    item->set_tooltip_text(pages[i].Address);
    const int steps = static_cast<int>(i + 1) * (back ? -1 : 1);
    item->signal_activate().connect([this, steps] { webBrowser_->GoThroughHistory(steps); });
    historyMenu_.append(*item);
    traced += (i == 0 ? " " : " | ") + label;
  }
  historyMenu_.show_all();
  historyMenu_.popup_at_widget(&button, Gdk::GRAVITY_SOUTH_WEST, Gdk::GRAVITY_NORTH_WEST, trigger);
  // Opened from the keyboard, the menu starts on its first page, so Enter goes there.
  if (trigger && trigger->type == GDK_KEY_PRESS)
    historyMenu_.select_first(true);
  TestTrace("menu", traced);
}

std::string TDocumentPage::HistoryState() {
  return webBrowser_->HistoryState();
}

bool TDocumentPage::ResumeHistory(const std::string& state, const std::string& address) {
  return webBrowser_->ResumeHistory(state, address);
}

}  // namespace tomelet
