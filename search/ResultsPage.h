// The HTML results page of a search, the same for every front end that shows one: the query
// read from a form's query string, the hits with title, path and highlighted snippet, paging
// links, and the page shown while the document is still being indexed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "search/SearchIndex.h"

namespace tomelet::search {

inline constexpr std::size_t kResultsPerPage = 10;
// Suggestions offered for what is typed into a search box.
inline constexpr std::size_t kSuggestionsShown = 10;

struct TResultsQuery {
  std::string Text;
  std::size_t Start = 0;
  std::size_t Limit = kResultsPerPage;
};

// Where the page's links lead: the search itself (the query string is appended) and the
// document's pages (the page's path, "/" between folders, percent-encoded, is appended).
struct TResultsAddresses {
  std::string Search;
  std::string Pages;
  // A search box at the top of the page, with the keyboard in it.
  bool SearchForm = true;
  // The document's start page, linked from the top of the page as the way back; no link when
  // empty.
  std::string Document;
  // A search box shown at the top for refining the query, which the keyboard reaches after the
  // results, for front ends with a search box of their own: the first Tab still lands on the
  // first result and the keys of the page stay the page's.
  bool RefiningForm = false;
};

// Reads "q", "start" and "limit" of a form-encoded query string; numbers that cannot be read
// fall back to their defaults and are held within bounds.
TResultsQuery ParseResultsQuery(std::string_view queryString);

// How many pages match, as a person writes it: "1 page matches", "20 pages match", "About
// 1,200 pages match" when the count is an estimate.
std::string MatchCountText(std::uint64_t total, bool exact);

// The address of a hit's page with its anchor.
std::string HitAddress(const TSearchHit& hit, std::string_view pagesPrefix);

// refusal says why the document's own index was not used; empty when it was.
std::string ResultsPageHtml(const TResultsQuery& query, const TSearchResults& results,
                            std::string_view refusal, const TResultsAddresses& addresses);

// The page shown instead of results while there are none to show; with refresh it loads itself
// again after a second, so indexing progress shows without any script.
std::string StatusPageHtml(const TResultsQuery& query, std::string_view message, bool refresh,
                           const TResultsAddresses& addresses);

}  // namespace tomelet::search
