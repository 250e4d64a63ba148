#include "WebHost/SearchBar.h"

#include <memory>
#include <utility>

#include "WebHost/PageResources.h"
#include "document/DocumentAddress.h"

namespace tomelet {
namespace {

void OnHighlighted(GObject* view, GAsyncResult* result, gpointer data) {
  const std::unique_ptr<std::function<void(int)>> done(
      static_cast<std::function<void(int)>*>(data));
  JSCValue* value =
      webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
  const int marked = value && jsc_value_is_number(value) ? jsc_value_to_int32(value) : 0;
  if (value)
    g_object_unref(value);
  (*done)(marked);
}

}  // namespace

TSearchBar::TSearchBar(WebKitWebView* view, TOpen open, TWebHost& host)
    : TPageBar(
          view,
          [&host](const std::string& status) {
            if (host.SearchStatus)
              host.SearchStatus(status);
          },
          36, "Search the document"),
      openPage_(std::move(open)),
      host_(host),
      suggestions_(Gtk::ListStore::create(columns_)),
      completion_(Gtk::EntryCompletion::create()) {
  add(text_);
  // The suggestions are the index's answer already, so every one of them is shown as it is.
  completion_->set_model(suggestions_);
  completion_->set_text_column(columns_.Title);
  completion_->set_match_func(
      [](const Glib::ustring&, const Gtk::TreeModel::const_iterator&) { return true; });
  completion_->set_minimum_key_length(1);
  completion_->signal_match_selected().connect(
      [this](const Gtk::TreeModel::iterator& row) {
        Choose((*row)[columns_.Address]);
        return true;
      },
      false);
  // Connected before the completion, which then filters the rows just put in.
  text_.signal_changed().connect([this] { ShowSuggestions(); }, false);
  text_.set_completion(completion_);
  text_.signal_activate().connect([this] { SearchTypedText(); });
  FinishLayout();
}

void TSearchBar::ShowSuggestions() {
  suggestions_->clear();
  const std::string typed = text_.get_text();
  if (typed.empty() || !host_.SuggestPages)
    return;
  std::string titles;
  for (const auto& page : host_.SuggestPages(typed)) {
    auto row = *suggestions_->append();
    row[columns_.Title] = page.Title;
    row[columns_.Address] = page.Address;
    titles += (titles.empty() ? "" : " | ") + page.Title;
  }
  if (!titles.empty())
    Report("suggestions: " + titles);
}

// The page the reader is sent to takes the keyboard, so its links are one Tab away.
void TSearchBar::Choose(const std::string& address) {
  Close();
  openPage_(address);
}

void TSearchBar::SearchTypedText() {
  const std::string typed = text_.get_text();
  if (typed.find_first_not_of(' ') == std::string::npos)
    return;
  Choose(SearchAddress(typed));
}

std::string SearchAddress(const std::string& text) {
  gchar* escaped = g_uri_escape_string(text.c_str(), nullptr, FALSE);
  std::string address = std::string(kSearchPagesUrl) + "?q=" + escaped;
  g_free(escaped);
  return address;
}

std::string SearchedText(const std::string& address) {
  if (!address.starts_with(kSearchPagesUrl))
    return {};
  const auto mark = address.find('?');
  if (mark == std::string::npos)
    return {};
  const std::string query = address.substr(mark + 1, address.find('#', mark) - mark - 1);
  GHashTable* fields = g_uri_parse_params(query.c_str(), -1, "&", G_URI_PARAMS_WWW_FORM, nullptr);
  if (!fields)
    return {};
  const auto* text = static_cast<const char*>(g_hash_table_lookup(fields, "q"));
  std::string searched = text ? text : "";
  g_hash_table_unref(fields);
  return searched;
}

void HighlightWords(WebKitWebView* view, const std::string& text,
                    std::function<void(int marked)> done) {
  const std::string script = PageResource("highlight.js");
  GVariantDict arguments;
  g_variant_dict_init(&arguments, nullptr);
  g_variant_dict_insert(&arguments, "text", "s", text.c_str());
  webkit_web_view_call_async_javascript_function(
      view, script.c_str(), -1, g_variant_dict_end(&arguments), kViewerWorld, nullptr, nullptr,
      OnHighlighted, std::make_unique<std::function<void(int)>>(std::move(done)).release());
}

}  // namespace tomelet
