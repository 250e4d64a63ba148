#include "library/LibrarySearch.h"

#include <algorithm>
#include <functional>
#include <numeric>
#include <optional>
#include <unordered_map>

#include "library/IndexCopies.h"
#include "library/ReadyIndexes.h"
#include "library/Workers.h"
#include "platform/process/FreedMemory.h"
#include "search/DocumentIndex.h"
#include "search/ResultsJson.h"

namespace tomelet::library {
namespace {

// The one that ranks for searched[i]: itself, or the document whose index it is a copy of.
TSearched& RankedFor(std::vector<TSearched>& searched, std::size_t i) {
  return searched[i].SameAs == SIZE_MAX ? searched[i] : searched[searched[i].SameAs];
}

struct TRankedHit {
  double Score;
  std::size_t Searched;
  std::size_t Rank;
};

// The jobs 0..count-1, the largest first: helpers that take the longest jobs first, and leave the
// short ones for last, finish nearer together.
std::vector<std::size_t> LargestFirst(std::size_t count,
                                      const std::function<std::uint64_t(std::size_t)>& size) {
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return size(a) > size(b); });
  return order;
}

// Asks every index at once for as many hits as may be shown, ranked only, since asking an index
// again matches all its hits again from the first. Scores of different indexes are the same
// measure (BM25 over each document's own counts), so they are merged as they are. An index that
// fails is marked and left out.
void Rank(std::vector<TSearched>& searched, const std::string& text, std::size_t wanted,
          TWorkers* workers) {
  const auto order =
      LargestFirst(searched.size(), [&](std::size_t i) { return searched[i].Index->Bytes(); });
  RunAll(workers, order.size(), [&](std::size_t k) {
    auto& one = searched[order[k]];
    one.Asked = wanted;
    try {
      one.Ranking = one.Index->Rank(text, one.Asked);
      for (std::size_t rank = 0; rank < one.Ranking->Size(); ++rank) {
        one.Scores.push_back(one.Ranking->Score(rank));
      }
      one.Total = one.Ranking->Total();
      one.TotalExact = one.Ranking->TotalExact();
    } catch (const std::exception&) {
      one.Ranking.reset();
      one.Scores.clear();
      one.Failed = true;
    }
  });
}

// The best `wanted` hits of all lists, best first; equal scores keep the documents' order, then
// each document's own.
std::vector<TRankedHit> Merged(const std::vector<TSearched>& searched, std::size_t wanted) {
  std::vector<TRankedHit> ranked;
  for (std::size_t i = 0; i < searched.size(); ++i) {
    for (std::size_t rank = 0; rank < searched[i].Scores.size(); ++rank) {
      ranked.push_back({searched[i].Scores[rank], i, rank});
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

// The documents open now first: a library closes the least recently used, so documents searched
// in the same order every time would each be closed before the next search came back to them.
std::vector<const TLibraryDocument*> OpenFirst(std::vector<const TLibraryDocument*> documents) {
  std::stable_partition(documents.begin(), documents.end(),
                        [](const TLibraryDocument* document) { return document->IsOpen(); });
  return documents;
}

// A library with more documents than it keeps open is searched a group at a time: each index
// ranks at once as many hits as may be shown, since it is let go, with its ranking, before the
// next group opens. The hits come back in the documents' order, whatever order they were
// searched in. Documents found to be copies of one ranked in an earlier group are left to it.
std::vector<TSearched> RankInGroups(const std::vector<const TLibraryDocument*>& inScope,
                                    const std::string& text, std::size_t wanted,
                                    std::size_t heldAtOnce, TLibraryResults& results,
                                    TIndexCopies& copies, TWorkers* workers) {
  std::vector<TSearched> searched;
  std::vector<const TLibraryDocument*> ranked;
  for (auto& group : InGroups(OpenFirst(inScope), heldAtOnce)) {
    TakeOutCopies(group, ranked, copies);
    ranked.insert(ranked.end(), group.begin(), group.end());
    auto ready = ReadyIndexes(group, results, workers);
    Rank(ready, text, wanted, workers);
    for (auto& one : ready) {
      one.Ranking.reset();
      one.Index.reset();
      searched.push_back(std::move(one));
    }
  }
  // The indexes let go between groups leave holes in the heaps among those still open (after
  // searches across 200 copies of python3.11-doc with 32 open, 630 MiB kept instead of 360).
  ReturnFreedMemory();
  std::unordered_map<const TLibraryDocument*, std::size_t> place;
  for (std::size_t i = 0; i < inScope.size(); ++i) {
    place.emplace(inScope[i], i);
  }
  std::sort(searched.begin(), searched.end(), [&](const TSearched& a, const TSearched& b) {
    return place.at(a.Document) < place.at(b.Document);
  });
  std::sort(results.Indexing.begin(), results.Indexing.end());
  return searched;
}

// Each copy takes the scores and totals of the document ranked in its place (the copies asked
// no more of it, which asked for the same hits less, so never too few), and all are put back
// in the documents' order. A copy of a document left out is left out with it, the same way.
std::vector<TSearched> WithCopies(std::vector<TSearched> searched,
                                  const std::vector<const TLibraryDocument*>& inScope,
                                  const TIndexCopies& copies, TLibraryResults& results) {
  if (copies.Copies.empty()) {
    return searched;
  }
  std::unordered_map<const TLibraryDocument*, std::size_t> at;
  for (std::size_t i = 0; i < searched.size(); ++i) {
    at.emplace(searched[i].Document, i);
  }
  const std::size_t ranked = searched.size();
  for (const auto& [copy, original] : copies.Copies) {
    const auto found = at.find(original);
    if (found == at.end()) {
      auto& failed = results.Failed;
      const bool hasFailed =
          std::find(failed.begin(), failed.end(), original->Name()) != failed.end();
      (hasFailed ? failed : results.Indexing).push_back(copy->Name());
      continue;
    }
    const auto& source = searched[found->second];
    searched.push_back({copy, nullptr, nullptr, source.Scores, source.Total, source.TotalExact,
                        source.Asked, source.Failed, found->second});
  }
  std::unordered_map<const TLibraryDocument*, std::size_t> place;
  for (std::size_t i = 0; i < inScope.size(); ++i) {
    place.emplace(inScope[i], i);
  }
  std::vector<std::size_t> order(searched.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    order[i] = i;
  }
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return place.at(searched[a].Document) < place.at(searched[b].Document);
  });
  std::vector<std::size_t> moved(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    moved[order[i]] = i;
  }
  std::vector<TSearched> sorted;
  sorted.reserve(searched.size());
  for (const auto i : order) {
    sorted.push_back(std::move(searched[i]));
    if (i >= ranked) {
      sorted.back().SameAs = moved[sorted.back().SameAs];
    }
  }
  std::sort(results.Indexing.begin(), results.Indexing.end());
  return sorted;
}

// The index of a document searched in an earlier group, open again; null when it cannot be.
std::shared_ptr<const search::TSearchIndex> IndexAgain(const TSearched& searched) {
  if (searched.Index) {
    return searched.Index;
  }
  try {
    return searched.Document->Index()->OpenedState().Index;
  } catch (const std::exception&) {
    return nullptr;
  }
}

// The hits shown, read whole, each ranking's on one thread (a ranking is used by one thread at a
// time) and the rankings at once; a ranking whose hit cannot be read is marked failed.
std::vector<std::optional<search::TSearchHit>> ReadHits(std::vector<TSearched>& searched,
                                                        const std::vector<TRankedHit>& shown,
                                                        TWorkers* workers) {
  std::vector<TSearched*> readers;
  std::vector<std::vector<std::size_t>> shownBy;
  for (std::size_t at = 0; at < shown.size(); ++at) {
    auto* one = &RankedFor(searched, shown[at].Searched);
    const auto place =
        static_cast<std::size_t>(std::find(readers.begin(), readers.end(), one) - readers.begin());
    if (place == readers.size()) {
      readers.push_back(one);
      shownBy.emplace_back();
    }
    shownBy[place].push_back(at);
  }
  const auto order = LargestFirst(readers.size(), [&](std::size_t i) { return shownBy[i].size(); });
  std::vector<std::optional<search::TSearchHit>> hits(shown.size());
  RunAll(workers, order.size(), [&](std::size_t k) {
    const std::size_t i = order[k];
    auto& one = *readers[i];
    for (const std::size_t at : one.Failed ? std::vector<std::size_t>() : shownBy[i]) {
      try {
        hits[at] = one.Ranking->Hit(shown[at].Rank);
      } catch (const std::exception&) {
        one.Failed = true;
        return;
      }
    }
  });
  return hits;
}

// The hits shown, read whole from the rankings that gave them, on helpers too: at one search at
// a time their snippets would otherwise keep one core busy while the other waits. A document
// searched in an earlier group is opened and ranked again first, the same way, the documents at
// once. A document whose hit cannot be read is marked failed and its hits are left out.
void AddShown(std::vector<TSearched>& searched, const std::string& text,
              const std::vector<TRankedHit>& shown, TLibraryResults& results, TWorkers* workers) {
  std::vector<TSearched*> again;
  for (const auto& ranked : shown) {
    auto* one = &RankedFor(searched, ranked.Searched);
    if (!one->Ranking && std::find(again.begin(), again.end(), one) == again.end()) {
      again.push_back(one);
    }
  }
  RunAll(workers, again.size(), [&](std::size_t i) {
    auto& one = *again[i];
    try {
      one.Index = IndexAgain(one);
      if (one.Index) {
        one.Ranking = one.Index->Rank(text, one.Asked);
      }
    } catch (const std::exception&) {
      one.Ranking.reset();
    }
    one.Failed = !one.Ranking;
  });
  auto hits = ReadHits(searched, shown, workers);
  for (std::size_t at = 0; at < shown.size(); ++at) {
    const std::size_t i = shown[at].Searched;
    if (hits[at] && !RankedFor(searched, i).Failed) {
      results.Hits.push_back({searched[i].Document->Name(), std::move(*hits[at])});
    }
  }
}

}  // namespace

TLibraryResults SearchLibrary(const TDocumentList& documents, const TLibraryQuery& query,
                              std::size_t start, std::size_t limit, const TDocumentFilter& allowed,
                              std::size_t heldAtOnce, TWorkers* workers) {
  TLibraryResults results;
  results.Query = query.Text;
  const auto inScope = DocumentsInScope(documents, query, allowed);
  auto copies = FindIndexCopies(inScope);
  const std::size_t wanted = start + limit;
  std::vector<TSearched> searched;
  if (copies.Ranked.size() <= heldAtOnce) {
    searched = ReadyIndexes(copies.Ranked, results, workers);
    Rank(searched, query.Text, wanted, workers);
  } else {
    searched =
        RankInGroups(copies.Ranked, query.Text, wanted, heldAtOnce, results, copies, workers);
  }
  searched = WithCopies(std::move(searched), inScope, copies, results);
  const auto ranked = Merged(searched, wanted);
  if (start < ranked.size()) {
    AddShown(searched, query.Text,
             {ranked.begin() + static_cast<std::ptrdiff_t>(start), ranked.end()}, results, workers);
  }
  for (std::size_t i = 0; i < searched.size(); ++i) {
    const auto& one = searched[i];
    if (RankedFor(searched, i).Failed) {
      results.Failed.push_back(one.Document->Name());
      results.TotalExact = false;
    } else {
      results.Total += one.Total;
      results.TotalExact = results.TotalExact && one.TotalExact;
    }
  }
  return results;
}

std::vector<TLibrarySuggestion> SuggestLibrary(const TDocumentList& documents,
                                               const TLibraryQuery& query, std::size_t limit,
                                               const TDocumentFilter& allowed,
                                               std::size_t heldAtOnce, TWorkers* workers) {
  TLibraryResults ignored;
  std::vector<TSearched> searched;
  std::vector<std::vector<search::TSuggestion>> lists;
  const auto groups = InGroups(DocumentsInScope(documents, query, allowed), heldAtOnce);
  for (const auto& group : groups) {
    for (auto& one : ReadyIndexes(group, ignored, workers)) {
      lists.push_back(one.Index->Suggest(query.Text, limit));
      one.Index.reset();
      searched.push_back(std::move(one));
    }
  }
  if (groups.size() > 1) {
    ReturnFreedMemory();
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
  std::string out = "{\"version\":" + std::to_string(search::kResultsJsonVersion) + ",\"query\":";
  search::AppendJsonText(out, results.Query);
  out.append(",\"total\":" + std::to_string(results.Total) + ",\"results\":[");
  for (const auto& [document, hit] : results.Hits) {
    out.append(&hit == &results.Hits.front().Hit ? "{\"doc\":" : ",{\"doc\":");
    search::AppendJsonText(out, document);
    out.push_back(',');
    search::AppendHitFields(out, hit);
    out.push_back('}');
  }
  for (const auto& [key, names] :
       {std::pair{"indexing", &results.Indexing}, std::pair{"failed", &results.Failed}}) {
    out.append("],\"").append(key).append("\":[");
    for (const auto& name : *names) {
      if (&name != &names->front()) {
        out.push_back(',');
      }
      search::AppendJsonText(out, name);
    }
  }
  out.append("]}");
  return out;
}

}  // namespace tomelet::library
