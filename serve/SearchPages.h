// The search pages of a served document, below its mount: "/-/search" (an HTML results page
// with a search box), "/-/search.json" and "/-/suggest" (JSON).
#pragma once

#include <memory>
#include <string>

#include "search/DocumentIndex.h"
#include "search/ResultsPage.h"
#include "serve/Routes.h"

namespace tomelet::serve {

class TSearchPages {
 public:
  // A document without an index is indexed on the first request, in the background. mount is
  // the path the document's pages live under ("" or "/NAME"), for the links of the pages.
  TSearchPages(std::shared_ptr<search::TBackgroundIndex> index, const std::string& mount);
  ~TSearchPages();
  TSearchPages(const TSearchPages&) = delete;
  TSearchPages& operator=(const TSearchPages&) = delete;

  // Each thread-safe. While the index is being built the reply is 503 with the progress and a
  // Retry-After; 500 when it cannot be built.
  TSiteResponse ResultsPage(const TRequestContext& context) const;
  TSiteResponse ResultsJson(const TRequestContext& context) const;
  TSiteResponse Suggestions(const TRequestContext& context) const;

 private:
  // The reply while the index is being built, or after it failed.
  TSiteResponse NotReady(const search::TBackgroundIndex::TState& state,
                         const search::TResultsQuery& query, bool html) const;

  std::shared_ptr<search::TBackgroundIndex> index_;
  search::TResultsAddresses addresses_;
};

}  // namespace tomelet::serve
