// A query across a library as typed: its words and the documents it looks into.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "library/Library.h"

namespace tomelet::library {

struct TLibraryQuery {
  std::string Text;
  // Names of the documents searched; empty for all of them.
  std::vector<std::string> Documents;
};

// The words and the scope of a typed query. A scope is typed before the words as keywords and a
// colon ("python: dict", "pg,python: json"); each keyword picks the documents whose name begins
// with it (letter case ignored). When a keyword picks none, the whole text is taken as words.
// named holds documents asked for by name besides (doc=NAME), added to the scope.
TLibraryQuery ReadLibraryQuery(std::string_view typed, std::vector<std::string> named,
                               const TDocumentList& documents);

// Which documents a search may look into, for a caller that keeps some out (protected ones).
using TDocumentFilter = std::function<bool(const TLibraryDocument&)>;

// The documents in the query's scope that allowed lets in (all when it is empty), in their order.
std::vector<const TLibraryDocument*> DocumentsInScope(const TDocumentList& documents,
                                                      const TLibraryQuery& query,
                                                      const TDocumentFilter& allowed);

}  // namespace tomelet::library
