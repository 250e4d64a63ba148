// The search paths of the served document: "/-/search" (an HTML results page with a search
// box), "/-/search.json" and "/-/suggest" (JSON). Every path below "/-/" belongs to them, so a
// top-level folder "-" of the document is not reachable.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "search/ResultsPage.h"
#include "serve/DocumentSite.h"

namespace tomelet::search {
class TBackgroundIndex;
}

namespace tomelet::serve {

inline constexpr std::string_view kSearchPathPrefix = "/-/";

class TSearchPages {
 public:
  // A document without an index is indexed on the first request, in the background. mount is
  // the path the document's pages live under ("" or "/NAME"), for the links of the pages.
  TSearchPages(std::shared_ptr<search::TBackgroundIndex> index, const std::string& mount);
  ~TSearchPages();
  TSearchPages(const TSearchPages&) = delete;
  TSearchPages& operator=(const TSearchPages&) = delete;

  // The reply for a target below kSearchPathPrefix. Thread-safe. While the index is being built
  // the reply is 503 with the progress and a Retry-After.
  TSiteResponse Respond(std::string_view target) const;

 private:
  std::shared_ptr<search::TBackgroundIndex> index_;
  search::TResultsAddresses addresses_;
};

}  // namespace tomelet::serve
