// One search across the documents of a library: one ranked list, each hit naming its document.
// Every document is searched in its own index, so each keeps its own language's stemmer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "library/Library.h"
#include "library/LibraryQuery.h"
#include "search/SearchIndex.h"

namespace tomelet::library {

struct TLibraryHit {
  std::string Document;
  search::TSearchHit Hit;
};

struct TLibraryResults {
  std::string Query;
  // Estimated matching pages over all documents searched; a document skipped since none of its
  // hits could be shown counts as one.
  std::uint64_t Total = 0;
  bool TotalExact = true;  // every document's count was exact, none skipped that may match
  std::vector<TLibraryHit> Hits;
  std::vector<std::string> Indexing;  // documents left out while their index is being built
  std::vector<std::string> Failed;    // documents left out because they cannot be searched
};

// Hits [start, start + limit) of the merged list, best first by each index's own score, each
// with its snippet. Each index ranks only the hits that may be among them, the indexes at once,
// and only the hits shown are read whole; indexes still being opened are waited for up to 2 s.
// At most heldAtOnce indexes are held at a time (the library's limit of open documents): more
// documents are searched a group at a time, each index asked for every hit that may be shown,
// with the same list. A document whose index's summary bounds the query below the hits already
// ranked is not opened: the hits are those of ranking every index, the total an estimate.
// Thread-safe. Throws nothing for a document that fails: it is named in Failed instead.
// The documents are taken at once on workers, when given; else one after another.
TLibraryResults SearchLibrary(const TDocumentList& documents, const TLibraryQuery& query,
                              std::size_t start, std::size_t limit, const TDocumentFilter& allowed,
                              std::size_t heldAtOnce = SIZE_MAX, TWorkers* workers = nullptr);

struct TLibrarySuggestion {
  std::string Document;
  search::TSuggestion Page;
};

// Page titles beginning with the query's words, a few from each document in turn; at most
// heldAtOnce indexes held at a time, as SearchLibrary.
std::vector<TLibrarySuggestion> SuggestLibrary(const TDocumentList& documents,
                                               const TLibraryQuery& query, std::size_t limit,
                                               const TDocumentFilter& allowed,
                                               std::size_t heldAtOnce = SIZE_MAX,
                                               TWorkers* workers = nullptr);

// {"version", "query", "total", "results": [{"doc", "path", "anchor", "title", "snippet",
// "score"}], "indexing": [...], "failed": [...]} on one line, as the one-document form writes
// its fields.
std::string LibraryResultsJson(const TLibraryResults& results);

}  // namespace tomelet::library
