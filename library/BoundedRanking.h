// The documents a library search ranks: in order of the bound of the query in each index, a few
// at a time, until no document left can reach the hits asked for.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "library/IndexCopies.h"
#include "library/ReadyIndexes.h"

namespace tomelet::library {

struct TRankedHit {
  double Score;
  std::size_t Searched;
  std::size_t Rank;
};

// A document left unranked; it may match when its bound is above 0.
struct TSkipped {
  const TLibraryDocument* Document;
  bool MayMatch;
};

// The best `wanted` hits of all lists, best first; equal scores keep the documents' order, then
// each document's own.
std::vector<TRankedHit> Merged(const std::vector<TSearched>& searched, std::size_t wanted);

// Each index among documents asked for the `wanted` best hits, unless its bound (a document
// whose index was never searched has none) is below the wanted-th best score of those ranked
// before: its hits could not be among them. The open documents that may match come first, at
// once (heldAtOnce at most), then the others from the highest bound (none: never searched), a
// few at a time; with more documents than heldAtOnce each index is let go once ranked.
// Documents left unranked are named in skipped; the searched come back in the documents' order.
// Copies are taken out as TakeOutCopies does.
std::vector<TSearched> RankWithinBounds(const std::vector<const TLibraryDocument*>& documents,
                                        const std::string& text, std::size_t wanted,
                                        std::size_t heldAtOnce, TLibraryResults& results,
                                        TIndexCopies& copies, std::vector<TSkipped>& skipped,
                                        TWorkers* workers);

}  // namespace tomelet::library
