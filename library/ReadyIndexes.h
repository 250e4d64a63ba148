// The indexes of the documents a library search looks into, opened at once and waited for, and
// what the search keeps of each as it ranks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "library/Library.h"
#include "library/LibrarySearch.h"
#include "search/SearchIndex.h"

namespace tomelet::library {

struct TSearched {
  const TLibraryDocument* Document;
  std::shared_ptr<const search::TSearchIndex> Index;
  // Null until ranked, and again once failed or let go with its index (between groups); it goes
  // before the index it reads.
  std::unique_ptr<search::TRanking> Ranking = nullptr;
  // The scores ranked, and the totals of the last ranking asked, which outlive the ranking.
  std::vector<double> Scores = {};
  std::uint64_t Total = 0;
  bool TotalExact = false;
  std::size_t Asked = 0;
  bool Failed = false;
  // For a copy of another document's index: where that document is, whose ranking it shares.
  std::size_t SameAs = SIZE_MAX;
};

// job(0) ... job(count - 1), at once on workers when given, else one after another.
void RunAll(TWorkers* workers, std::size_t count, const std::function<void(std::size_t)>& job);
// The jobs 0..count-1, the largest first: helpers that take the longest jobs first, and leave the
// short ones for last, finish nearer together.
std::vector<std::size_t> LargestFirst(std::size_t count,
                                      const std::function<std::uint64_t(std::size_t)>& size);

// The documents in groups of at most heldAtOnce, so that a search never holds more indexes than
// the library keeps open.
std::vector<std::vector<const TLibraryDocument*>> InGroups(
    const std::vector<const TLibraryDocument*>& documents, std::size_t heldAtOnce);

// The indexes of the documents, once each existing one is open (every one opening at once) or
// 2 s have gone; the others are named in results, those still opening or being built as
// indexing, those that cannot be read as failed. Never throws for a document.
std::vector<TSearched> ReadyIndexes(const std::vector<const TLibraryDocument*>& inScope,
                                    TLibraryResults& results, TWorkers* workers);

}  // namespace tomelet::library
