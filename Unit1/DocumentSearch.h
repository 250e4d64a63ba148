// The viewer's search of its document: the results pages at the viewer's own search address and
// the title suggestions, from the document's index, opened or built in the background on first
// use so that the window never waits for it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "search/SearchIndex.h"

namespace tomelet {

class TDocument;

namespace search {
class TBackgroundIndex;
}

class TDocumentSearch {
 public:
  // The window's open document, startPageOption as the options name it. Nothing is read before the
  // first search. Waits for an index being opened when destroyed.
  TDocumentSearch(std::shared_ptr<const TDocument> document, std::string startPageOption);
  ~TDocumentSearch();
  TDocumentSearch(const TDocumentSearch&) = delete;
  TDocumentSearch& operator=(const TDocumentSearch&) = delete;

  // Starts opening the index, or building it, on a thread of its own, so that the window never
  // waits for it and it is ready by the time the reader has typed.
  void Prepare();
  // The HTML of the results page at a search address ("tome://search/?q=...&start=...").
  // While the index is being opened or built, a page with the progress that loads itself again;
  // when no index can be had, a page that says why.
  std::string ResultsPage(std::string_view address);
  // Page titles and defined names whose words begin with the words typed (TSearchIndex::Suggest);
  // none until the index is ready.
  std::vector<search::TSuggestion> Suggest(std::string_view typed);

 private:
  std::string startUrl_;  // where the results page leads back to
  std::unique_ptr<search::TBackgroundIndex> index_;
};

// What the search address shows for a document that does not allow searching.
std::string UnsearchablePage();

// The address of a suggested page, at the definition of a suggested name.
std::string SuggestionAddress(const search::TSuggestion& suggestion);

}  // namespace tomelet
