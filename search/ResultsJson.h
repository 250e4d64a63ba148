// Search results as the one JSON object that `tomelet search --json` prints and `tomelet serve`
// answers at "/-/search.json", so that the two never drift apart.
#pragma once

#include <string>

#include "search/SearchIndex.h"

namespace tomelet::search {

// Raised whenever a key changes meaning or goes away; new keys leave it as it is.
// 2: paths with "/" between folders.
inline constexpr int kResultsJsonVersion = 2;

// {"version", "query", "total", "results": [{"path", "anchor", "title", "snippet", "score"}]}
// on one line without a line break: paths with "/" between folders and names
// stored in Windows-1252 read as UTF-8; scores rounded to four decimals.
std::string ResultsJson(const TSearchResults& results);

}  // namespace tomelet::search
