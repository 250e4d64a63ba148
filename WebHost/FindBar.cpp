#include "WebHost/FindBar.h"

#include <gdk/gdkkeysyms.h>

#include <cstdio>
#include <utility>

#include "WebHost/PageResources.h"

namespace tomelet {
namespace {

// More matches than this are not counted, which keeps a search of a long page short; the page
// script stops at the same number.
constexpr long kMaxCountedMatches = 1000;

struct TFindCall {
  std::weak_ptr<TFindBar*> Bar;
  unsigned long Number;
};

}  // namespace

TFindBar::TFindBar(WebKitWebView* view, TStatus status)
    : TPageBar(view, std::move(status), 28, "Find on this page"), script_(PageResource("find.js")) {
  BuildLayout();
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
  Forget();
}

void TFindBar::Forget() {
  searched_ = false;
  count_.set_text("");
  RunScript("clear");
}

void TFindBar::SearchFromFields(bool backwards) {
  Search(text_.get_text(), matchCase_.get_active(), backwards);
}

void TFindBar::Search(const std::string& text, bool matchCase, bool backwards) {
  if (text.empty()) {
    Forget();
    return;
  }
  if (searched_ && text == searchedText_ && matchCase == searchedMatchCase_) {
    RunScript(backwards ? "previous" : "next");
    return;
  }
  searched_ = true;
  searchedText_ = text;
  searchedMatchCase_ = matchCase;
  count_.set_text("");
  RunScript(backwards ? "find-backwards" : "find");
}

void TFindBar::RunScript(const char* action) {
  GVariantDict arguments;
  g_variant_dict_init(&arguments, nullptr);
  g_variant_dict_insert(&arguments, "action", "s", action);
  g_variant_dict_insert(&arguments, "text", "s", searchedText_.c_str());
  // The engine takes no booleans as arguments of a script.
  g_variant_dict_insert(&arguments, "matchCase", "i", searchedMatchCase_ ? 1 : 0);
  webkit_web_view_call_async_javascript_function(
      view_, script_.c_str(), -1, g_variant_dict_end(&arguments), kViewerWorld, nullptr, nullptr,
      OnAnswered, std::make_unique<TFindCall>(TFindCall{alive_, ++calls_}).release());
}

// A page that is gone or a script that failed answers nothing, and the count stays empty.
void TFindBar::OnAnswered(GObject* view, GAsyncResult* result, gpointer request) {
  const std::unique_ptr<TFindCall> call(static_cast<TFindCall*>(request));
  JSCValue* value =
      webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
  long current = 0, total = 0;
  const bool answered = value && jsc_value_is_string(value);
  if (answered) {
    gchar* text = jsc_value_to_string(value);
    std::sscanf(text, "%ld %ld", &current, &total);
    g_free(text);
  }
  if (value)
    g_object_unref(value);
  const auto bar = call->Bar.lock();
  if (answered && bar && (*bar)->calls_ == call->Number && (*bar)->searched_)
    (*bar)->ShowCount(current, total);
}

void TFindBar::ShowCount(long current, long total) {
  if (total == 0)
    count_.set_text("No matches");
  else if (total > kMaxCountedMatches)
    count_.set_text("More than " + std::to_string(kMaxCountedMatches) + " matches");
  else
    count_.set_text(std::to_string(current) + " of " + std::to_string(total));
  Report(count_.get_text());
}

}  // namespace tomelet
