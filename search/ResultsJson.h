// Search results as the one JSON object that `tomelet search --json` prints and `tomelet serve`
// answers at "/-/search.json", so that the two never drift apart.
#pragma once

#include <string>
#include <string_view>

#include "search/SearchIndex.h"

namespace tomelet::search {

// Raised whenever a key changes meaning or goes away; new keys leave it as it is.
// 2: paths with "/" between folders.
inline constexpr int kResultsJsonVersion = 2;

// {"version", "query", "total", "results": [{"path", "anchor", "title", "snippet", "score"}]}
// on one line without a line break: paths with "/" between folders and names
// stored in Windows-1252 read as UTF-8; scores rounded to four decimals.
std::string ResultsJson(const TSearchResults& results);

// The inside of a JSON string for UTF-8 text: quotes, backslashes and control characters escaped.
void AppendJsonEscaped(std::string& out, std::string_view text);
// text as these objects write every text: a JSON string of its well-formed UTF-8 as it is and
// any other byte read as Windows-1252, quotes, backslashes and control characters escaped.
void AppendJsonText(std::string& out, std::string_view text);
// A hit's keys as the "results" of these objects hold them, from "path" to "score", without
// the braces, so that an object naming the hit's document as well writes them the same way.
void AppendHitFields(std::string& out, const TSearchHit& hit);

}  // namespace tomelet::search
