#include "library/BoundedRanking.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "library/Library.h"
#include "platform/process/FreedMemory.h"
#include "search/TermSummary.h"

namespace tomelet::library {
namespace {

constexpr double kNoBound = std::numeric_limits<double>::infinity();
// Documents with a bound ranked at once: few, so that the best of them lift the score the rest
// must reach before they are opened, yet enough to keep both cores busy.
constexpr std::size_t kBoundedAtOnce = 4;

// A document without a summary of its index, one that cannot be made, is searched every time.
void KeepSummary(const TSearched& searched) {
  if (searched.Document->Summary()) {
    return;
  }
  try {
    searched.Document->KeepSummary(
        std::make_shared<const search::TTermSummary>(searched.Index->Summary()));
  } catch (const std::exception&) {
    return;
  }
}

// Asks every index at once for as many hits as may be shown, ranked only, since asking an index
// again matches all its hits again from the first. Scores of different indexes are the same
// measure (BM25 over each document's own counts), so they are merged as they are. An index that
// fails is marked and left out. An index searched for the first time leaves its summary with its
// document.
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
      return;
    }
    KeepSummary(one);
  });
}

// The wanted-th best score ranked so far; none (-infinity) while fewer hits are ranked.
double LeastShown(const std::vector<TSearched>& searched, std::size_t wanted) {
  const auto ranked = Merged(searched, wanted);
  return ranked.size() < wanted || wanted == 0 ? -kNoBound : ranked.back().Score;
}

bool HigherBound(const std::pair<double, const TLibraryDocument*>& a,
                 const std::pair<double, const TLibraryDocument*>& b) {
  return a.first > b.first;
}

// The documents open now that may match first: ranking them costs no opening, and all at once
// they keep the helpers busy together (ranked a few at a time, a library whose documents are all
// open would wait for the slowest of each few in turn). Then the others by bound, the highest
// first. A library closes the least recently used, so documents searched in the same order every
// time would each be closed before the next search came back to them.
std::vector<std::pair<double, const TLibraryDocument*>> ByBound(
    const std::vector<const TLibraryDocument*>& documents, const std::string& text,
    std::size_t& openThatMayMatch) {
  search::TQueryBound bound(text);
  std::vector<std::pair<double, const TLibraryDocument*>> order;
  for (const auto* document : documents) {
    const auto summary = document->Summary();
    order.emplace_back(summary ? bound.In(*summary) : kNoBound, document);
  }
  std::stable_sort(order.begin(), order.end(), HigherBound);
  const auto open = std::stable_partition(order.begin(), order.end(), [](const auto& one) {
    return one.first > 0 && one.second->IsOpen();
  });
  openThatMayMatch = static_cast<std::size_t>(open - order.begin());
  return order;
}

void InDocumentsOrder(std::vector<TSearched>& searched,
                      const std::vector<const TLibraryDocument*>& documents) {
  std::unordered_map<const TLibraryDocument*, std::size_t> place;
  for (std::size_t i = 0; i < documents.size(); ++i) {
    place.emplace(documents[i], i);
  }
  std::sort(searched.begin(), searched.end(), [&](const TSearched& a, const TSearched& b) {
    return place.at(a.Document) < place.at(b.Document);
  });
}

}  // namespace

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

std::vector<TSearched> RankWithinBounds(const std::vector<const TLibraryDocument*>& documents,
                                        const std::string& text, std::size_t wanted,
                                        std::size_t heldAtOnce, TLibraryResults& results,
                                        TIndexCopies& copies, std::vector<TSkipped>& skipped,
                                        TWorkers* workers) {
  std::size_t openFirst = 0;
  auto order = ByBound(documents, text, openFirst);
  const bool letGo = documents.size() > heldAtOnce;
  const std::size_t most = std::max<std::size_t>(heldAtOnce, 1);
  std::vector<TSearched> searched;
  std::vector<const TLibraryDocument*> ranked;
  double least = -kNoBound;
  std::size_t next = 0;
  // A bound of 0: nothing of the index can match.
  const auto canReach = [&](double bound) { return bound > 0 && bound >= least; };
  while (next < order.size() && canReach(order[next].first)) {
    std::vector<const TLibraryDocument*> wave;
    while (next < order.size() && canReach(order[next].first) && wave.size() < most &&
           (order[next].first == kNoBound || wave.size() < std::max(kBoundedAtOnce, openFirst))) {
      wave.push_back(order[next++].second);
    }
    if (openFirst > 0) {
      // Those left of the open ones, if any, take their place among the others by bound.
      std::stable_sort(order.begin() + static_cast<std::ptrdiff_t>(next), order.end(), HigherBound);
      openFirst = 0;
    }
    TakeOutCopies(wave, ranked, copies);
    ranked.insert(ranked.end(), wave.begin(), wave.end());
    auto ready = ReadyIndexes(wave, results, workers);
    Rank(ready, text, wanted, workers);
    for (auto& one : ready) {
      if (letGo) {
        one.Ranking.reset();
        one.Index.reset();
      }
      searched.push_back(std::move(one));
    }
    least = LeastShown(searched, wanted);
  }
  for (; next < order.size(); ++next) {
    skipped.push_back({order[next].second, order[next].first > 0});
  }
  if (letGo) {
    // The indexes let go between groups leave holes in the heaps among those still open (after
    // searches across 200 copies of python3.11-doc with 32 open, 630 MiB kept instead of 360).
    ReturnFreedMemory();
  }
  InDocumentsOrder(searched, documents);
  std::sort(results.Indexing.begin(), results.Indexing.end());
  return searched;
}

}  // namespace tomelet::library
