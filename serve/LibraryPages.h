// The pages of a library served at the root: the catalogue as a web page, as JSON and as an
// OPDS 1.2 acquisition feed, and the results of a search across it. Their links are the
// server's: "/NAME/" for a document, "/-/file/NAME" for its file, "/-/..." for the library's
// own pages.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "library/Catalogue.h"
#include "library/LibrarySearch.h"

namespace tomelet::serve {

inline constexpr std::string_view kOpdsType =
    "application/atom+xml;profile=opds-catalog;kind=acquisition";
inline constexpr std::string_view kDocumentFileType = "application/x-tomelet";

std::string CatalogueHtml(const std::vector<library::TCatalogueEntry>& entries);
// {"documents": [{"name", "title", "language"?, "pages"?, "size", "modified", "protected", "url",
// "logo"?, "error"?}]}, language and pages left out for a protected document.
std::string CatalogueJson(const std::vector<library::TCatalogueEntry>& entries);
// An acquisition feed: one entry per document with its pages as an HTML link and the document
// file as the acquisition link (none for a protected one).
std::string CatalogueAtom(const std::vector<library::TCatalogueEntry>& entries);

// The results page, with the typed query in its search box and links to further pages.
std::string LibraryResultsHtml(std::string_view typed, const library::TLibraryResults& results,
                               std::size_t start, std::size_t limit);

}  // namespace tomelet::serve
