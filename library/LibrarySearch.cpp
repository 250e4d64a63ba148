#include "library/LibrarySearch.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>
#include <nlohmann/json.hpp>
#include <thread>

#include "library/SharedWork.h"
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

// Each index is first asked for about twice its share of the hits wanted, at least this many:
// enough that most need not be asked again.
constexpr std::size_t kFewestFirstAsked = 3;

// A search waits this long at most for indexes still being opened (each is checked whole before
// its first use), so that the first search after a start finds them, yet one across hundreds of
// unopened documents still answers.
constexpr auto kLongestOpeningWait = std::chrono::seconds(2);
constexpr auto kOpeningPoll = std::chrono::milliseconds(5);

struct TSearched {
  const TLibraryDocument* Document;
  std::shared_ptr<const search::TSearchIndex> Index;
  // Null until ranked, and again once the index failed.
  std::unique_ptr<search::TRanking> Ranking;
  std::size_t Asked = 0;
  bool Failed = false;

  std::size_t Ranked() const { return Ranking ? Ranking->Size() : 0; }
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

// The state of each index (null: the document cannot be read) once it is open or
// kLongestOpeningWait has gone.
std::vector<search::TBackgroundIndex::TState> StatesOnceOpened(
    const std::vector<std::shared_ptr<search::TBackgroundIndex>>& indexes) {
  std::vector<search::TBackgroundIndex::TState> states(indexes.size());
  const auto deadline = std::chrono::steady_clock::now() + kLongestOpeningWait;
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    while (indexes[i]) {
      states[i] = indexes[i]->State();
      if (!states[i].Opening || std::chrono::steady_clock::now() >= deadline) {
        break;
      }
      std::this_thread::sleep_for(kOpeningPoll);
    }
  }
  return states;
}

// The indexes of the documents in scope, once each existing one is open (every one opening at
// once) or kLongestOpeningWait has gone; the others are named in results, those still opening
// or being built as indexing.
std::vector<TSearched> ReadyIndexes(const TDocumentList& documents, const TLibraryQuery& query,
                                    const TDocumentFilter& allowed, TLibraryResults& results) {
  std::vector<const TLibraryDocument*> inScope;
  for (const auto& document : documents) {
    if (InScope(query, *document, allowed)) {
      inScope.push_back(document.get());
    }
  }
  std::vector<std::shared_ptr<search::TBackgroundIndex>> indexes(inScope.size());
  const auto start = [&](std::size_t i) {
    try {
      indexes[i] = inScope[i]->Index();
      indexes[i]->State();
    } catch (const std::exception&) {
      indexes[i] = nullptr;
    }
  };
  // Documents not yet open are opened each on its own thread before the first index is waited
  // for; an open one's index is at hand.
  std::vector<std::size_t> closed;
  for (std::size_t i = 0; i < inScope.size(); ++i) {
    if (inScope[i]->IsOpen()) {
      start(i);
    } else {
      closed.push_back(i);
    }
  }
  RunShared(closed.size(), [&](std::size_t i) { start(closed[i]); });
  auto states = StatesOnceOpened(indexes);
  std::vector<TSearched> ready;
  for (std::size_t i = 0; i < inScope.size(); ++i) {
    if (states[i].Index) {
      ready.push_back({inScope[i], std::move(states[i].Index), {}});
    } else {
      (!indexes[i] || !states[i].Error.empty() ? results.Failed : results.Indexing)
          .push_back(inScope[i]->Name());
    }
  }
  return ready;
}

// Asks each index of `asks` (index, hits) for its next hits after those it gave, ranked only,
// the indexes at once. An index that fails is marked and left out.
void Rank(std::vector<TSearched>& searched,
          const std::vector<std::pair<std::size_t, std::size_t>>& asks, const std::string& text) {
  RunShared(asks.size(), [&](std::size_t i) {
    auto& one = searched[asks[i].first];
    const std::size_t given = one.Ranked();
    one.Asked = asks[i].second;
    try {
      if (one.Ranking) {
        one.Ranking->More(one.Asked - given);
      } else {
        one.Ranking = one.Index->Rank(text, one.Asked);
      }
    } catch (const std::exception&) {
      one.Ranking.reset();
      one.Failed = true;
    }
  });
}

// The best `wanted` hits of all lists, best first; equal scores keep the documents' order, then
// each document's own.
std::vector<TRankedHit> Merged(const std::vector<TSearched>& searched, std::size_t wanted) {
  std::vector<TRankedHit> ranked;
  for (std::size_t i = 0; i < searched.size(); ++i) {
    for (std::size_t rank = 0; rank < searched[i].Ranked(); ++rank) {
      ranked.push_back({searched[i].Ranking->Score(rank), i, rank});
    }
  }
  const auto better = [](const TRankedHit& a, const TRankedHit& b) {
    if (a.Score != b.Score) {
      return a.Score > b.Score;
    }
    return a.Searched != b.Searched ? a.Searched < b.Searched : a.Rank < b.Rank;
  };
  const auto kept = std::min(wanted, ranked.size());
  std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(kept),
                    ranked.end(), better);
  ranked.resize(kept);
  return ranked;
}

// The indexes cut short of hits that may still be among the best `wanted`, each with how many
// hits it must give to settle it: its further hits score at most its last one, so the m hits of
// other indexes that score above that last one come first, and it needs give no more than
// wanted - m in all.
std::vector<std::pair<std::size_t, std::size_t>> CutShort(const std::vector<TSearched>& searched,
                                                          std::size_t wanted) {
  std::vector<double> scores;
  for (const auto& one : searched) {
    for (std::size_t rank = 0; rank < one.Ranked(); ++rank) {
      scores.push_back(one.Ranking->Score(rank));
    }
  }
  std::vector<std::pair<std::size_t, std::size_t>> again;
  for (std::size_t i = 0; i < searched.size(); ++i) {
    const auto& one = searched[i];
    const std::size_t given = one.Ranked();
    if (given == 0 || given < one.Asked || one.Ranking->Total() <= given) {
      continue;
    }
    const double last = one.Ranking->Score(given - 1);
    const auto above = static_cast<std::size_t>(
        std::count_if(scores.begin(), scores.end(), [&](double score) { return score > last; }));
    // Its own hits above its last are among those counted.
    std::size_t own = 0;
    while (own < given && one.Ranking->Score(own) > last) {
      ++own;
    }
    const std::size_t others = above - own;
    if (others < wanted && wanted - others > given) {
      again.emplace_back(i, wanted - others);
    }
  }
  return again;
}

// The merged best `wanted`: every index asked for a few first, then those that may hold more of
// them asked for as many as they may hold. Scores of different indexes are the same measure
// (BM25 over each document's own counts), so they are merged as they are.
std::vector<TRankedHit> RankAll(std::vector<TSearched>& searched, const std::string& text,
                                std::size_t wanted) {
  const std::size_t share =
      (2 * wanted + searched.size() - 1) / std::max<std::size_t>(1, searched.size());
  const std::size_t first = std::min(wanted, std::max(kFewestFirstAsked, share));
  std::vector<std::pair<std::size_t, std::size_t>> asks;
  for (std::size_t i = 0; i < searched.size(); ++i) {
    asks.emplace_back(i, first);
  }
  Rank(searched, asks, text);
  const auto again = CutShort(searched, wanted);
  if (!again.empty()) {
    Rank(searched, again, text);
  }
  return Merged(searched, wanted);
}

// The hits shown, read whole from the rankings that gave them, on the calling thread: reading
// them costs less than handing them to helpers. A document whose hit cannot be read is marked
// failed and its hits are left out.
void AddShown(std::vector<TSearched>& searched, const std::vector<TRankedHit>& shown,
              TLibraryResults& results) {
  std::vector<std::pair<TSearched*, search::TSearchHit>> hits;
  for (const auto& ranked : shown) {
    auto& one = searched[ranked.Searched];
    if (one.Failed) {
      continue;
    }
    try {
      hits.emplace_back(&one, one.Ranking->Hit(ranked.Rank));
    } catch (const std::exception&) {
      one.Failed = true;
    }
  }
  for (auto& [one, hit] : hits) {
    if (!one->Failed) {
      results.Hits.push_back({one->Document->Name(), std::move(hit)});
    }
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
  const auto ranked = RankAll(searched, query.Text, start + limit);
  if (start < ranked.size()) {
    AddShown(searched, {ranked.begin() + static_cast<std::ptrdiff_t>(start), ranked.end()},
             results);
  }
  for (const auto& one : searched) {
    if (one.Failed) {
      results.Failed.push_back(one.Document->Name());
      results.TotalExact = false;
    } else {
      results.Total += one.Ranking->Total();
      results.TotalExact = results.TotalExact && one.Ranking->TotalExact();
    }
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
