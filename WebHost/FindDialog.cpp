#include "WebHost/FindDialog.h"

namespace tomelet {
namespace {

enum TFindResponse { kFindPrevious = 1, kFindNext = 2 };

// More matches than this are not counted, which keeps a search of a long page short.
constexpr guint kMaxCountedMatches = 1000;

std::string MatchesText(guint count) {
  if (count > kMaxCountedMatches)
    return "More than " + std::to_string(kMaxCountedMatches) + " matches";
  return count == 1 ? "1 match" : std::to_string(count) + " matches";
}

}  // namespace

TFindDialog::TFindDialog(Gtk::Window* parent, WebKitFindController* controller)
    : controller_(WEBKIT_FIND_CONTROLLER(g_object_ref(controller))) {
  set_title("Find");
  set_resizable(false);
  if (parent)
    set_transient_for(*parent);
  BuildLayout();
  g_signal_connect(controller_, "found-text", G_CALLBACK(OnFound), this);
  g_signal_connect(controller_, "failed-to-find-text", G_CALLBACK(OnNotFound), this);
}

TFindDialog::~TFindDialog() {
  g_signal_handlers_disconnect_by_data(controller_, this);
  webkit_find_controller_search_finish(controller_);
  g_object_unref(controller_);
}

void TFindDialog::BuildLayout() {
  fields_.set_row_spacing(6);
  fields_.set_column_spacing(8);
  fields_.set_border_width(8);
  text_.set_activates_default(true);
  text_.set_width_chars(28);
  prompt_.set_mnemonic_widget(text_);
  feedback_.set_xalign(0);
  fields_.attach(prompt_, 0, 0);
  fields_.attach(text_, 1, 0);
  fields_.attach(matchCase_, 1, 1);
  fields_.attach(feedback_, 1, 2);
  get_content_area()->pack_start(fields_, Gtk::PACK_EXPAND_WIDGET);
  previous_ = add_button("_Previous", kFindPrevious);
  next_ = add_button("_Next", kFindNext);
  add_button("_Close", Gtk::RESPONSE_CLOSE);
  set_default_response(kFindNext);
  signal_response().connect([this](int response) {
    if (response == kFindPrevious || response == kFindNext)
      SearchFromFields(response == kFindPrevious);
    else
      Finish();
  });
  text_.signal_changed().connect([this] {
    feedback_.set_text("");
    const bool hasText = !text_.get_text().empty();
    previous_->set_sensitive(hasText);
    next_->set_sensitive(hasText);
  });
  // Closed by the window manager, the dialog hides like its Close button, to be shown again.
  signal_delete_event().connect([this](GdkEventAny*) {
    Finish();
    return true;
  });
  previous_->set_sensitive(false);
  next_->set_sensitive(false);
  show_all_children();
}

void TFindDialog::SearchFromFields(bool backwards) {
  Search(text_.get_text(), matchCase_.get_active(), backwards);
}

void TFindDialog::Search(const std::string& text, bool matchCase, bool backwards) {
  if (text.empty())
    return;
  guint32 options = WEBKIT_FIND_OPTIONS_WRAP_AROUND;
  if (!matchCase)
    options |= WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE;
  feedback_.set_text("");
  if (text == searchedText_ && options == searchedOptions_) {
    if (backwards)
      webkit_find_controller_search_previous(controller_);
    else
      webkit_find_controller_search_next(controller_);
    return;
  }
  searchedText_ = text;
  searchedOptions_ = options;
  if (backwards)
    options |= WEBKIT_FIND_OPTIONS_BACKWARDS;
  webkit_find_controller_search(controller_, text.c_str(), options, kMaxCountedMatches);
}

// Closing takes the marks off the page, and the next search starts afresh.
void TFindDialog::Finish() {
  webkit_find_controller_search_finish(controller_);
  searchedText_.clear();
  feedback_.set_text("");
  hide();
}

void TFindDialog::OnFound(WebKitFindController*, guint matchCount, gpointer self) {
  static_cast<TFindDialog*>(self)->feedback_.set_text(MatchesText(matchCount));
}

void TFindDialog::OnNotFound(WebKitFindController*, gpointer self) {
  static_cast<TFindDialog*>(self)->feedback_.set_text("Not found");
}

}  // namespace tomelet
