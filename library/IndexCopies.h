// Documents whose search indexes hold the same bytes (hard links to one file, copies of it) rank
// alike, so a search across a library ranks one of each such set and gives the others its hits.
#pragma once

#include <utility>
#include <vector>

#include "library/Library.h"

namespace tomelet::library {

struct TIndexCopies {
  // One document of each set, an open one where there is one, in the documents' order.
  std::vector<const TLibraryDocument*> Ranked;
  // Each document left out of Ranked, with the one ranked in its place.
  std::vector<std::pair<const TLibraryDocument*, const TLibraryDocument*>> Copies;
};

// Only indexes already found sound in this process, in files unchanged since, are known to be
// copies; every other document is ranked on its own. Never throws.
TIndexCopies FindIndexCopies(const std::vector<const TLibraryDocument*>& documents);

// Takes out of group the documents now known to be copies of one in ranked (whose indexes were
// opened since): a search across more documents than the library keeps open, a group at a
// time, leaves them to the first. A document the size of a kept sound index's file is read for
// its index block to compare (far less than opening its index). Never throws.
void TakeOutCopies(std::vector<const TLibraryDocument*>& group,
                   const std::vector<const TLibraryDocument*>& ranked, TIndexCopies& copies);

}  // namespace tomelet::library
