#include "library/LibrarySearch.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>

#include "platform/text/AsciiCase.h"
#include "platform/text/Codepage.h"
#include "search/DocumentIndex.h"
#include "search/ResultsJson.h"

namespace tomelet::library {
namespace {

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool BeginsWithFolded(std::string_view name, std::string_view keyword) {
  return name.size() >= keyword.size() &&
         EqualsFoldedAscii(name.substr(0, keyword.size()), keyword);
}

// The documents each keyword picks; false when some keyword picks none.
bool PickByKeywords(std::string_view keywords, const TDocumentList& documents,
                    std::vector<std::string>& picked) {
  while (true) {
    const auto comma = keywords.find(',');
    const std::string_view keyword = Trimmed(keywords.substr(0, comma));
    const auto before = picked.size();
    for (const auto& document : documents) {
      if (!keyword.empty() && BeginsWithFolded(document->Name(), keyword)) {
        picked.push_back(document->Name());
      }
    }
    if (picked.size() == before) {
      return false;
    }
    if (comma == std::string_view::npos) {
      return true;
    }
    keywords.remove_prefix(comma + 1);
  }
}

struct TSearched {
  const TLibraryDocument* Document;
  std::shared_ptr<const search::TSearchIndex> Index;
  search::TSearchResults Ranked;
};

struct TRankedHit {
  double Score;
  std::size_t Searched;
  std::size_t Rank;
};

bool InScope(const TLibraryQuery& query, const TLibraryDocument& document,
             const TDocumentFilter& allowed) {
  const auto& scope = query.Documents;
  return (scope.empty() || std::find(scope.begin(), scope.end(), document.Name()) != scope.end()) &&
         (!allowed || allowed(document));
}

// The ready indexes of the documents in scope; the others are named in results.
std::vector<TSearched> ReadyIndexes(const TDocumentList& documents, const TLibraryQuery& query,
                                    const TDocumentFilter& allowed, TLibraryResults& results) {
  std::vector<TSearched> ready;
  for (const auto& document : documents) {
    if (!InScope(query, *document, allowed)) {
      continue;
    }
    try {
      const auto state = document->Index()->State();
      if (state.Index) {
        ready.push_back({document.get(), state.Index, {}});
      } else {
        (state.Error.empty() ? results.Indexing : results.Failed).push_back(document->Name());
      }
    } catch (const std::exception&) {
      results.Failed.push_back(document->Name());
    }
  }
  return ready;
}

// Each document's hits shown come from one run of its ranks, so one more search per document
// gives all their snippets.
void AddSnippets(std::vector<TSearched>& searched, const std::string& text,
                 std::vector<TRankedHit>::const_iterator first,
                 std::vector<TRankedHit>::const_iterator last, TLibraryResults& results) {
  std::map<std::size_t, std::pair<std::size_t, std::size_t>> runs;
  for (auto it = first; it != last; ++it) {
    auto [run, added] = runs.try_emplace(it->Searched, it->Rank, it->Rank);
    run->second.first = std::min(run->second.first, it->Rank);
    run->second.second = std::max(run->second.second, it->Rank);
  }
  std::map<std::size_t, search::TSearchResults> shown;
  for (const auto& [index, run] : runs) {
    shown[index] = searched[index].Index->Search(text, run.first, run.second - run.first + 1);
  }
  for (auto it = first; it != last; ++it) {
    const auto& hits = shown[it->Searched].Hits;
    const std::size_t at = it->Rank - runs[it->Searched].first;
    auto hit = at < hits.size() ? hits[at] : searched[it->Searched].Ranked.Hits[it->Rank];
    results.Hits.push_back({searched[it->Searched].Document->Name(), std::move(hit)});
  }
}

}  // namespace

TLibraryQuery ReadLibraryQuery(std::string_view typed, std::vector<std::string> named,
                               const TDocumentList& documents) {
  TLibraryQuery query{std::string(Trimmed(typed)), std::move(named)};
  const auto colon = typed.find(':');
  std::vector<std::string> picked;
  if (colon != std::string_view::npos &&
      PickByKeywords(typed.substr(0, colon), documents, picked)) {
    query.Text = std::string(Trimmed(typed.substr(colon + 1)));
    query.Documents.insert(query.Documents.end(), picked.begin(), picked.end());
  }
  return query;
}

TLibraryResults SearchLibrary(const TDocumentList& documents, const TLibraryQuery& query,
                              std::size_t start, std::size_t limit,
                              const TDocumentFilter& allowed) {
  TLibraryResults results;
  results.Query = query.Text;
  auto searched = ReadyIndexes(documents, query, allowed, results);
  std::vector<TRankedHit> ranked;
  for (std::size_t i = 0; i < searched.size(); ++i) {
    searched[i].Ranked = searched[i].Index->Search(query.Text, 0, start + limit, false);
    results.Total += searched[i].Ranked.Total;
    results.TotalExact = results.TotalExact && searched[i].Ranked.TotalExact;
    for (std::size_t rank = 0; rank < searched[i].Ranked.Hits.size(); ++rank) {
      ranked.push_back({searched[i].Ranked.Hits[rank].Score, i, rank});
    }
  }
  // Scores of different indexes are the same measure (BM25 over each document's own counts),
  // so they are merged as they are; equal ones keep the documents' order.
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const TRankedHit& a, const TRankedHit& b) { return a.Score > b.Score; });
  if (start < ranked.size()) {
    const auto first = ranked.begin() + static_cast<std::ptrdiff_t>(start);
    const auto last =
        ranked.begin() + static_cast<std::ptrdiff_t>(std::min(ranked.size(), start + limit));
    AddSnippets(searched, query.Text, first, last, results);
  }
  return results;
}

std::vector<TLibrarySuggestion> SuggestLibrary(const TDocumentList& documents,
                                               const TLibraryQuery& query, std::size_t limit,
                                               const TDocumentFilter& allowed) {
  TLibraryResults ignored;
  const auto searched = ReadyIndexes(documents, query, allowed, ignored);
  std::vector<std::vector<search::TSuggestion>> lists;
  for (const auto& one : searched) {
    lists.push_back(one.Index->Suggest(query.Text, limit));
  }
  std::vector<TLibrarySuggestion> suggestions;
  for (std::size_t round = 0; suggestions.size() < limit; ++round) {
    bool any = false;
    for (std::size_t i = 0; i < lists.size() && suggestions.size() < limit; ++i) {
      if (round < lists[i].size()) {
        suggestions.push_back({searched[i].Document->Name(), lists[i][round]});
        any = true;
      }
    }
    if (!any) {
      break;
    }
  }
  return suggestions;
}

std::string LibraryResultsJson(const TLibraryResults& results) {
  nlohmann::ordered_json hits = nlohmann::ordered_json::array();
  for (const auto& [document, hit] : results.Hits) {
    hits.push_back({{"doc", document},
                    {"path", DisplayText(hit.Path)},
                    {"anchor", hit.Anchor},
                    {"title", hit.Title},
                    {"snippet", hit.Snippet},
                    {"score", std::round(hit.Score * 10000) / 10000}});
  }
  const nlohmann::ordered_json object = {{"version", search::kResultsJsonVersion},
                                         {"query", DisplayText(results.Query)},
                                         {"total", results.Total},
                                         {"results", hits},
                                         {"indexing", results.Indexing},
                                         {"failed", results.Failed}};
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace tomelet::library
