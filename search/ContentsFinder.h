// Finding a table of contents in HTML: the trees of nested lists of links (ul, ol, dl) of a page,
// with each link resolved against the page's folder. Used by the map builder.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "document/DocumentMap.h"

namespace tomelet::search {

// The page a link leads to ("/" between folders, as in the document), or empty when the link
// leaves the document or leads to no page of it.
using TLinkResolver = std::function<std::string(std::string_view resolvedPath)>;

struct TListTree {
  TContents Items;
  std::size_t Links = 0;  // items that lead to a page of the document
  // The site's own navigation as its generator marks it: a toctree's items ("toctree-l1", as
  // Sphinx and the Read the Docs theme write them) or a navigation bar ("navbar-nav", MkDocs).
  bool SiteNavigation = false;
};

// The outermost lists of the page as trees, links taken relative to pagePath's folder
// ("/" separators). Never throws on malformed markup.
std::vector<TListTree> ListTrees(std::string_view html, std::string_view pagePath,
                                 const TLinkResolver& resolve);

// The pages the page links to (links, frames) that name themselves a table of contents by their
// file name or text, resolved as ListTrees resolves them.
std::vector<std::string> TableOfContentsLinks(std::string_view html, std::string_view pagePath,
                                              const TLinkResolver& resolve);

// A link's target joined to the folder of pagePath, percent escapes decoded, "." and ".."
// folded, query dropped; the anchor is returned apart. Empty path for links with a scheme.
struct TJoinedLink {
  std::string Path;
  std::string Anchor;
  bool External = false;
};
TJoinedLink JoinLink(std::string_view pagePath, std::string_view href);

}  // namespace tomelet::search
