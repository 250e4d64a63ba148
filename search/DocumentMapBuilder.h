// The document's map made from its pages: the contents found in the document itself or read
// from a contents file, the keywords of every page, the outline of one page, and the map of an
// open document (the stored one, else derived on first use and cached beside the search index).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/DocumentMap.h"

namespace tomelet {
class TDocument;
}

namespace tomelet::search {

struct TPageText;

// The HTML of a page by its archive path ("\" or "/" between folders); nothing when the
// document has no such page or it cannot be read.
using TPageReader = std::function<std::optional<std::string>(std::string_view archivePath)>;

// Collects the keywords and titles of pages as they are added, then finds the contents.
class TDocumentMapBuilder {
 public:
  // startPagePath: the archive path of the start page (StartPageArchivePath); may be empty.
  explicit TDocumentMapBuilder(std::string startPagePath);
  ~TDocumentMapBuilder();
  TDocumentMapBuilder(const TDocumentMapBuilder&) = delete;
  TDocumentMapBuilder& operator=(const TDocumentMapBuilder&) = delete;

  // Pages that are not HTML (IsHtmlPageName) are ignored. Never throws on malformed markup.
  void AddPage(std::string_view archivePath, std::string_view html);
  // Pages taken the other way: each page's path in order (AddPagePath), and its text once read
  // (AddPageText), numbered among the HTML pages from 0. The map comes out as if the pages were
  // added in the order of their numbers, whatever order their texts arrive in. AddPageText is
  // safe to call from several threads at once, and alongside FindContents.
  void AddPagePath(std::string_view archivePath);
  void AddPageText(std::uint64_t number, std::string_view archivePath, const TPageText& text);
  // Finds the contents (see Finish) from the paths added so far, while texts may still be coming.
  void FindContents(const TPageReader& readPage);
  // Contents given by the author, used instead of those found in the pages.
  void SetContents(TContents contents);
  // The contents, unless given: the largest nested list of links into the document (ul, ol and
  // dl trees) on the start page or on a page the start page links to as its table of contents;
  // failing that, the folders, each titled by its index page, with their pages. readPage reads
  // the start page and its table of contents.
  TDocumentMap Finish(const TPageReader& readPage);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Reads a contents file: JSON as ContentsToJson writes it, or an HTML page holding a nested
// list of links (a sitemap), whichever the text is. Links are taken relative to the document's
// root. Throws EDocumentMapError "The contents file is not valid: <reason>" for JSON that is
// not a contents list and for HTML without a list of links.
TContents ReadContentsFile(std::string_view text);

struct TOutlineHeading {
  int Level = 1;  // 1 to 6, from <h1> to <h6>
  std::string Title;
  std::string Anchor;  // the id a link to the heading uses; may be empty
};

// The headings of one page in their order, without the page's navigation. Never throws.
std::vector<TOutlineHeading> PageOutline(std::string_view html);

// The map of an open document: the one it carries; failing that (or when that is damaged), the
// one cached for its contents; failing that, derived from its pages now (seconds for thousands
// of pages) and cached. Call it off any thread that must stay responsive. Never throws: a
// document whose pages cannot be read gets an empty map.
std::shared_ptr<const TDocumentMap> OpenDocumentMap(const TDocument& document,
                                                    std::string_view startPagePath);

// The map derived from the document's pages alone, ignoring any stored or cached one.
TDocumentMap DeriveDocumentMap(const TDocument& document, std::string_view startPagePath);

}  // namespace tomelet::search
