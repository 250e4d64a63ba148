#include "serve/SearchPages.h"

#include <nlohmann/json.hpp>

#include "platform/text/Codepage.h"
#include "search/DocumentIndex.h"
#include "search/ResultsJson.h"
#include "search/ResultsPage.h"
#include "serve/EntryBodies.h"

namespace tomelet::serve {
namespace {

constexpr std::size_t kSuggestions = 10;

std::string Utf8(std::string_view text) {
  return IsValidUtf8(text) ? std::string(text) : Windows1252ToUtf8(text);
}

TSiteResponse Reply(int status, std::string contentType, std::string body) {
  TSiteResponse response;
  response.Status = status;
  response.Headers = {{"Content-Type", std::move(contentType)}};
  response.ContentLength = static_cast<std::int64_t>(body.size());
  response.Body = TextBody(std::move(body));
  return response;
}

TSiteResponse JsonReply(int status, const nlohmann::ordered_json& json) {
  return Reply(status, "application/json",
               json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
}

}  // namespace

// The server's own addresses: its search path and the document's pages below the mount, where
// the mount itself leads to the start page.
TSearchPages::TSearchPages(std::shared_ptr<search::TBackgroundIndex> index,
                           const std::string& mount)
    : index_(std::move(index)), addresses_{mount + "/-/search", mount + "/", true, mount + "/"} {}

TSearchPages::~TSearchPages() = default;

TSiteResponse TSearchPages::Respond(std::string_view target) const {
  const auto mark = target.find('?');
  const std::string_view path = target.substr(0, mark);
  const search::TResultsQuery query = search::ParseResultsQuery(
      mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1));
  const bool html = path == "/-/search";
  const bool json = path == "/-/search.json";
  const bool suggest = path == "/-/suggest";
  if (!html && !json && !suggest) {
    return Reply(404, "text/plain; charset=utf-8", "No such search path.\n");
  }
  const auto state = index_->OpenedState();
  if (!state.Index) {
    const std::string message =
        state.Error.empty()
            ? "Indexing the document for search: " + std::to_string(state.Percent) + "%"
            : state.Error;
    const int status = state.Error.empty() ? 503 : 500;
    TSiteResponse response =
        html ? Reply(status, "text/html; charset=utf-8",
                     search::StatusPageHtml(query, message, state.Error.empty(), addresses_))
             : JsonReply(status, {{"error", message}, {"progress", state.Percent}});
    if (state.Error.empty()) {
      response.Headers.emplace_back("Retry-After", "1");
    }
    return response;
  }
  if (suggest) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& suggestion : state.Index->Suggest(query.Text, kSuggestions)) {
      const search::TSearchHit page{suggestion.Path, suggestion.Anchor, suggestion.Title, "", 0};
      list.push_back({{"title", suggestion.Title},
                      {"path", Utf8(suggestion.Path)},
                      {"url", search::HitAddress(page, addresses_.Pages)}});
    }
    return JsonReply(200, {{"query", Utf8(query.Text)}, {"suggestions", list}});
  }
  const auto results = state.Index->Search(query.Text, query.Start, query.Limit);
  if (json) {
    return Reply(200, "application/json", search::ResultsJson(results) + "\n");
  }
  return Reply(200, "text/html; charset=utf-8",
               search::ResultsPageHtml(query, results, state.Refusal, addresses_));
}

}  // namespace tomelet::serve
