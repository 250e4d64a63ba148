#include "serve/SearchPages.h"

#include "platform/text/Codepage.h"
#include "search/DocumentIndex.h"
#include "search/ResultsJson.h"
#include "serve/Replies.h"

namespace tomelet::serve {
// The server's own addresses: its search path and the document's pages below the mount, where
// the mount itself leads to the start page.
TSearchPages::TSearchPages(std::shared_ptr<search::TBackgroundIndex> index,
                           const std::string& mount)
    : index_(std::move(index)), addresses_{mount + "/-/search", mount + "/", true, mount + "/"} {}

TSearchPages::~TSearchPages() = default;

TSiteResponse TSearchPages::NotReady(const search::TBackgroundIndex::TState& state,
                                     const search::TResultsQuery& query, bool html) const {
  const bool indexing = state.Error.empty();
  const std::string message = indexing ? search::IndexingMessage(state.Percent) : state.Error;
  const int status = indexing ? 503 : 500;
  TSiteResponse response =
      html ? TextReply(status, kHtmlType,
                       search::StatusPageHtml(query, message, indexing, addresses_))
           : JsonReply(status, {{"error", message}, {"progress", state.Percent}});
  if (indexing) {
    response.Headers.emplace_back("Retry-After", "1");
  }
  return response;
}

TSiteResponse TSearchPages::ResultsPage(const TRequestContext& context) const {
  const auto query = search::ParseResultsQuery(context.Query);
  const auto state = index_->OpenedState();
  if (!state.Index) {
    return NotReady(state, query, true);
  }
  const auto results = state.Index->Search(query.Text, query.Start, query.Limit);
  return TextReply(200, kHtmlType,
                   search::ResultsPageHtml(query, results, state.Refusal, addresses_));
}

TSiteResponse TSearchPages::ResultsJson(const TRequestContext& context) const {
  const auto query = search::ParseResultsQuery(context.Query);
  const auto state = index_->OpenedState();
  if (!state.Index) {
    return NotReady(state, query, false);
  }
  const auto results = state.Index->Search(query.Text, query.Start, query.Limit);
  return TextReply(200, kJsonType, search::ResultsJson(results) + "\n");
}

TSiteResponse TSearchPages::Suggestions(const TRequestContext& context) const {
  const auto query = search::ParseResultsQuery(context.Query);
  const auto state = index_->OpenedState();
  if (!state.Index) {
    return NotReady(state, query, false);
  }
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const auto& suggestion : state.Index->Suggest(query.Text, search::kSuggestionsShown)) {
    const search::TSearchHit page{suggestion.Path, suggestion.Anchor, suggestion.Title, "", 0};
    list.push_back({{"title", suggestion.Title},
                    {"path", DisplayText(suggestion.Path)},
                    {"url", search::HitAddress(page, addresses_.Pages)}});
  }
  return JsonReply(200, {{"query", DisplayText(query.Text)}, {"suggestions", list}});
}

}  // namespace tomelet::serve
