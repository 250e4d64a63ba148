// The internal links of a document that reach no entry: links of its pages (to pages, images,
// style sheets, scripts, frames) and of its map, each with the page it is on.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tomelet {
class TDocument;
struct TDocumentMap;
}  // namespace tomelet

namespace tomelet::search {

struct TBrokenLink {
  std::string Page;    // "/" between folders; "-map-" for the document's contents and keywords
  std::string Link;    // as written
  std::string Target;  // the path it resolves to, "/" between folders
};

struct TLinkReport {
  std::size_t Checked = 0;
  std::vector<TBrokenLink> Broken;  // in the order of the pages, then the map's
};

// Links with a scheme ("https:", "mailto:") and links to an anchor of the same page are not
// checked; a link to a folder ("guide/") reaches its index.html, as the viewer serves it.
// Lookups follow the document's rules (letter case of A to Z, the Windows-1252 retry). Pages
// that cannot be read are skipped. map may be null.
TLinkReport FindBrokenLinks(const TDocument& document, const TDocumentMap* map);

}  // namespace tomelet::search
