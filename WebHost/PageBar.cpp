#include "WebHost/PageBar.h"

#include <utility>

namespace tomelet {

TPageBar::TPageBar(WebKitWebView* view, TStatus status, int widthChars, const char* placeholder)
    : view_(view), status_(std::move(status)) {
  text_.set_width_chars(widthChars);
  text_.set_placeholder_text(placeholder);
  connect_entry(text_);
  set_show_close_button(true);
}

void TPageBar::FinishLayout() {
  // Esc and the bar's own close button end search mode; the bar then closes as Close does.
  property_search_mode_enabled().signal_changed().connect([this] {
    if (!get_search_mode())
      Close();
  });
  show_all();
}

void TPageBar::Open() {
  set_search_mode(true);
  text_.grab_focus();
  if (!std::exchange(open_, true))
    Report("shown");
}

void TPageBar::Close() {
  if (!std::exchange(open_, false))
    return;
  OnClosing();
  set_search_mode(false);
  gtk_widget_grab_focus(GTK_WIDGET(view_));
  Report("closed");
}

void TPageBar::Report(const std::string& text) const {
  if (status_)
    status_(text);
}

}  // namespace tomelet
