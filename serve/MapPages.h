// The map paths of the served document: "/-/contents" (an HTML page of the contents),
// "/-/contents.json", "/-/keywords.json?q=...&limit=..." and "/-/outline.json?path=...".
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "document/DocumentMap.h"
#include "serve/DocumentSite.h"

namespace tomelet::serve {

class TMapPages {
 public:
  // startPage is an archive path. A document without a stored map gets one derived from its
  // pages on the first request that needs it (cached beside the search indexes).
  TMapPages(std::shared_ptr<const TDocument> archive, std::string startPage);

  // Whether the path (without its query) is one of the map's.
  static bool Handles(std::string_view path);
  // The reply for a target Handles accepts. Thread-safe; the first call may take seconds.
  TSiteResponse Respond(std::string_view target) const;

 private:
  const TDocumentMap& Map() const;
  TSiteResponse Outline(std::string_view page) const;

  std::shared_ptr<const TDocument> archive_;
  std::string startPage_;
  mutable std::once_flag opened_;
  mutable std::shared_ptr<const TDocumentMap> map_;
};

}  // namespace tomelet::serve
