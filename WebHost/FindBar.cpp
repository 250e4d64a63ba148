#include "WebHost/FindBar.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <utility>

namespace tomelet {
namespace {

// More matches than this are not counted, which keeps a search of a long page short.
constexpr guint kMaxCountedMatches = 1000;

}  // namespace

TFindBar::TFindBar(WebKitWebView* view, TStatus status)
    : TPageBar(view, std::move(status), 28, "Find on this page"),
      controller_(WEBKIT_FIND_CONTROLLER(g_object_ref(webkit_web_view_get_find_controller(view)))) {
  BuildLayout();
  g_signal_connect(controller_, "found-text", G_CALLBACK(OnFound), this);
  g_signal_connect(controller_, "counted-matches", G_CALLBACK(OnCounted), this);
  g_signal_connect(controller_, "failed-to-find-text", G_CALLBACK(OnNotFound), this);
}

TFindBar::~TFindBar() {
  g_signal_handlers_disconnect_by_data(controller_, this);
  webkit_find_controller_search_finish(controller_);
  g_object_unref(controller_);
}

void TFindBar::BuildLayout() {
  previous_.set_image_from_icon_name("go-up-symbolic");
  previous_.set_tooltip_text("Previous match (Shift+Enter)");
  next_.set_image_from_icon_name("go-down-symbolic");
  next_.set_tooltip_text("Next match (Enter)");
  fields_.pack_start(text_, Gtk::PACK_SHRINK);
  fields_.pack_start(previous_, Gtk::PACK_SHRINK);
  fields_.pack_start(next_, Gtk::PACK_SHRINK);
  fields_.pack_start(count_, Gtk::PACK_SHRINK);
  fields_.pack_start(matchCase_, Gtk::PACK_SHRINK);
  add(fields_);

  text_.signal_search_changed().connect([this] { SearchFromFields(false); });
  text_.signal_activate().connect([this] { SearchFromFields(false); });
  text_.signal_key_press_event().connect(
      [this](GdkEventKey* key) {
        const bool shiftEnter =
            (key->keyval == GDK_KEY_Return || key->keyval == GDK_KEY_KP_Enter) &&
            (key->state & GDK_SHIFT_MASK) != 0;
        if (shiftEnter)
          SearchFromFields(true);
        return shiftEnter;
      },
      false);
  previous_.signal_clicked().connect([this] { SearchFromFields(true); });
  next_.signal_clicked().connect([this] { SearchFromFields(false); });
  matchCase_.signal_toggled().connect([this] { SearchFromFields(false); });
  FinishLayout();
}

void TFindBar::OnClosing() {
  webkit_find_controller_search_finish(controller_);
  Forget();
}

void TFindBar::Forget() {
  searchedText_.clear();
  count_.set_text("");
}

void TFindBar::SearchFromFields(bool backwards) {
  Search(text_.get_text(), matchCase_.get_active(), backwards);
}

void TFindBar::Search(const std::string& text, bool matchCase, bool backwards) {
  if (text.empty()) {
    webkit_find_controller_search_finish(controller_);
    Forget();
    return;
  }
  guint32 options = WEBKIT_FIND_OPTIONS_WRAP_AROUND;
  if (!matchCase)
    options |= WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE;
  if (text == searchedText_ && options == searchedOptions_) {
    Step(backwards);
    return;
  }
  searchedText_ = text;
  searchedOptions_ = options;
  position_ = backwards ? -1 : 1;
  counted_ = found_ = false;
  count_.set_text("");
  // The engine's own count after a step is that of the step, so the bar counts the matches once
  // and follows the steps itself.
  webkit_find_controller_count_matches(controller_, text.c_str(), options, kMaxCountedMatches);
  if (backwards)
    options |= WEBKIT_FIND_OPTIONS_BACKWARDS;
  webkit_find_controller_search(controller_, text.c_str(), options, kMaxCountedMatches);
}

void TFindBar::Step(bool backwards) {
  if (counted_ && total_ > 0) {
    const long total = static_cast<long>(total_);
    const long current = position_ > 0 ? position_ : total + position_ + 1;
    position_ = backwards ? (current + total - 2) % total + 1 : current % total + 1;
  } else {
    position_ += backwards ? -1 : 1;
  }
  if (backwards)
    webkit_find_controller_search_previous(controller_);
  else
    webkit_find_controller_search_next(controller_);
}

void TFindBar::ShowCount() {
  if (!counted_ || !found_)
    return;
  if (total_ == 0) {
    count_.set_text("No matches");
  } else if (total_ > kMaxCountedMatches) {
    count_.set_text("More than " + std::to_string(kMaxCountedMatches) + " matches");
  } else {
    const long total = static_cast<long>(total_);
    const long current = position_ > 0 ? position_ : total + position_ + 1;
    count_.set_text(std::to_string(std::clamp(current, 1L, total)) + " of " +
                    std::to_string(total));
  }
  Report(count_.get_text());
}

void TFindBar::OnFound(WebKitFindController*, guint, gpointer self) {
  auto& bar = *static_cast<TFindBar*>(self);
  bar.found_ = true;
  bar.ShowCount();
}

void TFindBar::OnCounted(WebKitFindController*, guint matchCount, gpointer self) {
  auto& bar = *static_cast<TFindBar*>(self);
  bar.total_ = matchCount;
  bar.counted_ = true;
  bar.ShowCount();
}

void TFindBar::OnNotFound(WebKitFindController*, gpointer self) {
  auto& bar = *static_cast<TFindBar*>(self);
  bar.counted_ = bar.found_ = true;
  bar.total_ = 0;
  bar.ShowCount();
}

}  // namespace tomelet
