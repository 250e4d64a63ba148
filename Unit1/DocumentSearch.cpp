#include "Unit1/DocumentSearch.h"

#include "document/Document.h"
#include "document/DocumentAddress.h"
#include "search/DocumentIndex.h"
#include "search/ResultsPage.h"

namespace tomelet {
namespace {

// The results link into the document's pages; the search bar is the viewer's search box, and the
// page's own box refines the query shown.
search::TResultsAddresses ViewerAddresses(std::string startUrl = {}) {
  return {std::string(kSearchPagesUrl), std::string(kDocumentUrlPrefix), true, std::move(startUrl),
          true};
}

// A window searches its one document and shows one results page at a time: the blocks of the
// last query or two serve its next page and its query asked again, where a server's 8 MiB kept a
// long session's every block (inflating a results page's blocks again takes under 1 ms).
constexpr std::size_t kWindowSectionBlocks = 512 << 10;

std::string_view QueryString(std::string_view address) {
  address = address.substr(0, address.find('#'));
  const auto mark = address.find('?');
  return mark == std::string_view::npos ? std::string_view() : address.substr(mark + 1);
}

}  // namespace

std::string UnsearchablePage() {
  return search::StatusPageHtml({}, "This document cannot be searched.", false, ViewerAddresses());
}

std::string SuggestionAddress(const search::TSuggestion& suggestion) {
  return search::HitAddress({suggestion.Path, suggestion.Anchor, suggestion.Title, "", 0},
                            kDocumentUrlPrefix);
}

TDocumentSearch::TDocumentSearch(std::shared_ptr<const TDocument> document,
                                 std::string startPageOption)
    : startUrl_(startPageOption.empty() ? std::string() : StartUrl(startPageOption)),
      index_(std::make_unique<search::TBackgroundIndex>(std::move(document),
                                                        StartPageArchivePath(startPageOption))) {
  search::KeepSectionBlocks(kWindowSectionBlocks);
}

TDocumentSearch::~TDocumentSearch() = default;

// The index reads the window's own document through positioned reads; opening it (reading the
// checks of a carried index) and building it take long enough on a large document to run on the
// index's own thread.
void TDocumentSearch::Prepare() {
  index_->State();
}

std::string TDocumentSearch::ResultsPage(std::string_view address) {
  const auto query = search::ParseResultsQuery(QueryString(address));
  const auto addresses = ViewerAddresses(startUrl_);
  const auto state = index_->State();
  if (state.Opening) {
    return search::StatusPageHtml(query, "Opening the search index", true, addresses);
  }
  if (!state.Index) {
    const bool indexing = state.Error.empty();
    const std::string message = indexing ? search::IndexingMessage(state.Percent) : state.Error;
    return search::StatusPageHtml(query, message, indexing, addresses);
  }
  const auto results = state.Index->Search(query.Text, query.Start, query.Limit);
  return search::ResultsPageHtml(query, results, state.Refusal, addresses);
}

std::vector<search::TSuggestion> TDocumentSearch::Suggest(std::string_view typed) {
  const auto state = index_->State();
  return state.Index ? state.Index->Suggest(typed, search::kSuggestionsShown)
                     : std::vector<search::TSuggestion>{};
}

}  // namespace tomelet
