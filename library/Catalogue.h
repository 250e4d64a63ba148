// The catalogue of a library as a web page, as JSON and as an OPDS 1.2 acquisition feed, and the
// page of results of a search across it. Addresses are those of `tomelet serve`: "/NAME/" for a
// document, "/-/..." for the library's own pages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "library/Library.h"
#include "library/LibrarySearch.h"

namespace tomelet::library {

struct TCatalogueEntry {
  std::string Name;
  TDocumentFacts Facts;
  std::int64_t Size = 0;
  std::int64_t Modified = 0;  // nanoseconds since the epoch
};

// Reads the facts of every document, opening the ones not open yet for the time it takes.
std::vector<TCatalogueEntry> CatalogueEntries(const TDocumentList& documents);

// "2026-12-09T00:26:31Z".
std::string IsoDate(std::int64_t nanoseconds);

std::string CatalogueHtml(const std::vector<TCatalogueEntry>& entries);
// {"documents": [{"name", "title", "language"?, "pages"?, "size", "modified", "protected", "url",
// "logo"?, "error"?}]}, language and pages left out for a protected document.
std::string CatalogueJson(const std::vector<TCatalogueEntry>& entries);
// An acquisition feed: one entry per document with its pages as an HTML link and the document
// file as the acquisition link (none for a protected one).
std::string CatalogueAtom(const std::vector<TCatalogueEntry>& entries);

inline constexpr std::string_view kOpdsType =
    "application/atom+xml;profile=opds-catalog;kind=acquisition";
inline constexpr std::string_view kDocumentFileType = "application/x-tomelet";

// The results page, with the typed query in its search box and links to further pages.
std::string LibraryResultsHtml(std::string_view typed, const TLibraryResults& results,
                               std::size_t start, std::size_t limit);

}  // namespace tomelet::library
