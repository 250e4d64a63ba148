// The map pages of a served document, below its mount: "/-/contents" (an HTML page of the
// contents), "/-/contents.json", "/-/keywords.json?q=...&limit=..." and
// "/-/outline.json?path=...". Their links lead to the document's pages below the same mount.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "document/DocumentMap.h"
#include "serve/Routes.h"

namespace tomelet::serve {

class TMapPages {
 public:
  // startPagePath is an archive path; mount is where the document's pages live ("" or "/NAME"). A
  // document without a stored map gets one derived from its pages on the first request that
  // needs it (cached beside the search indexes).
  TMapPages(std::shared_ptr<const TDocument> archive, std::string startPagePath, std::string mount);

  // Each thread-safe; the first call may take seconds.
  TSiteResponse ContentsPage(const TRequestContext& context) const;
  TSiteResponse ContentsJson(const TRequestContext& context) const;
  TSiteResponse Keywords(const TRequestContext& context) const;
  TSiteResponse Outline(const TRequestContext& context) const;

 private:
  const TDocumentMap& Map() const;
  // The address of a page of the document, with its anchor.
  std::string PageUrl(std::string_view page, std::string_view anchor) const;
  void AppendContentsList(std::string& html, const TContents& items) const;

  std::shared_ptr<const TDocument> archive_;
  std::string startPagePath_;
  std::string mount_;
  mutable std::once_flag opened_;
  mutable std::shared_ptr<const TDocumentMap> map_;
};

}  // namespace tomelet::serve
