// What every reader of another container gives the one writer: the facts known before the
// pages, then the pages, a logo, and the source's own map.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "document/DocumentMap.h"

namespace tomelet::importer {

struct TSourceFacts {
  std::string StartPage;  // "/" between folders; empty when the source names none
  std::string Title;
  std::string Language;       // a language code for the stemmer; empty when unknown
  std::size_t PageCount = 0;  // HTML pages to come, when known
};

// Called in this order: Begin once, Page for each file, Logo at most once, Map once.
class ISourceSink {
 public:
  virtual ~ISourceSink() = default;
  virtual void Begin(const TSourceFacts& facts) = 0;
  // path: "/" between folders, relative to the document's top, as the source names it.
  virtual void Page(std::string_view path, std::span<const std::byte> bytes) = 0;
  // An icon (.ico) or a PNG image, as the source carries it.
  virtual void Logo(std::span<const std::byte> image) = 0;
  // The source's contents and keywords; either may be empty, and is then found in the pages.
  // Pages are named as in Page, with anchors apart.
  virtual void Map(TContents contents, std::vector<TKeyword> keywords) = 0;
};

}  // namespace tomelet::importer
