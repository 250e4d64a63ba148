#include "search/ResultsJson.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "platform/text/Codepage.h"
#include "platform/text/ShownText.h"

namespace tomelet::search {
namespace {

// More digits than these only tell apart pages that rank the same anyway.
double RoundedScore(double score) {
  return std::round(score * 10000) / 10000;
}

}  // namespace

std::string ResultsJson(const TSearchResults& results) {
  nlohmann::ordered_json hits = nlohmann::ordered_json::array();
  for (const auto& hit : results.Hits) {
    hits.push_back({{"path", DisplayText(SlashSeparated(hit.Path))},
                    {"anchor", hit.Anchor},
                    {"title", hit.Title},
                    {"snippet", hit.Snippet},
                    {"score", RoundedScore(hit.Score)}});
  }
  const nlohmann::ordered_json object = {{"version", kResultsJsonVersion},
                                         {"query", DisplayText(results.Query)},
                                         {"total", results.Total},
                                         {"results", hits}};
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace tomelet::search
