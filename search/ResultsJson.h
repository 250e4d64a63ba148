// Search results as the one JSON object that `tomelet search --json` prints and `tomelet serve`
// answers at "/-/search.json", so that the two never drift apart.
#pragma once

#include <string>

#include "search/SearchIndex.h"

namespace tomelet::search {

// Raised whenever a key changes meaning or goes away; new keys leave it as it is.
inline constexpr int kResultsJsonVersion = 1;

// {"version", "query", "total", "results": [{"path", "anchor", "title", "snippet", "score"}]}
// on one line without a line break: paths as archive paths ("\" between folders) and names
// stored in Windows-1252 read as UTF-8; scores rounded to four decimals.
std::string ResultsJson(const TSearchResults& results);

}  // namespace tomelet::search
