#include "library/LibrarySearch.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "library/BoundedRanking.h"
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

// Each copy takes the scores and totals of the document ranked in its place (the copies asked
// no more of it, which asked for the same hits less, so never too few), and all are put back
// in the documents' order. A copy of a document left out or skipped is left out or skipped with
// it, the same way.
std::vector<TSearched> WithCopies(std::vector<TSearched> searched,
                                  const std::vector<const TLibraryDocument*>& inScope,
                                  const TIndexCopies& copies, TLibraryResults& results,
                                  std::vector<TSkipped>& skipped) {
  if (copies.Copies.empty()) {
    return searched;
  }
  std::unordered_map<const TLibraryDocument*, std::size_t> at;
  for (std::size_t i = 0; i < searched.size(); ++i) {
    at.emplace(searched[i].Document, i);
  }
  // A document ranked later may take out as its copy the one others were first found copies of.
  std::unordered_map<const TLibraryDocument*, const TLibraryDocument*> copied(copies.Copies.begin(),
                                                                              copies.Copies.end());
  const auto rankedIn = [&](const TLibraryDocument* original) {
    for (std::size_t step = 0; step < copied.size() && copied.contains(original); ++step) {
      original = copied.at(original);
    }
    return original;
  };
  const std::size_t ranked = searched.size();
  for (const auto& [copy, copyOf] : copies.Copies) {
    const auto* original = rankedIn(copyOf);
    const auto found = at.find(original);
    const auto skippedOriginal =
        std::find_if(skipped.begin(), skipped.end(),
                     [&](const TSkipped& one) { return one.Document == original; });
    if (found == at.end() && skippedOriginal != skipped.end()) {
      skipped.push_back({copy, skippedOriginal->MayMatch});
      continue;
    }
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
  std::vector<TSkipped> skipped;
  auto searched = RankWithinBounds(copies.Ranked, query.Text, wanted, heldAtOnce, results, copies,
                                   skipped, workers);
  searched = WithCopies(std::move(searched), inScope, copies, results, skipped);
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
  // A document skipped since none of its hits could be shown still counts, as one page at least.
  for (const auto& one : skipped) {
    if (one.MayMatch) {
      ++results.Total;
      results.TotalExact = false;
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
