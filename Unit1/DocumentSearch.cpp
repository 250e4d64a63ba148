#include "Unit1/DocumentSearch.h"

#include <chrono>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "document/DocumentAddress.h"
#include "search/DocumentIndex.h"
#include "search/ResultsPage.h"

namespace tomelet {
namespace {

constexpr std::size_t kSuggestions = 10;

// The results link into the document's pages; the search bar is the viewer's search box.
search::TResultsAddresses ViewerAddresses(std::string startUrl = {}) {
  return {std::string(kSearchPagesUrl), std::string(kDocumentUrlPrefix), false,
          std::move(startUrl)};
}

std::string_view LastWord(std::string_view typed) {
  const auto end = typed.find_last_not_of(' ');
  if (end == std::string_view::npos)
    return {};
  typed = typed.substr(0, end + 1);
  const auto space = typed.rfind(' ');
  return space == std::string_view::npos ? typed : typed.substr(space + 1);
}

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
  return search::HitAddress({suggestion.Path, "", suggestion.Title, "", 0}, kDocumentUrlPrefix);
}

TDocumentSearch::TDocumentSearch(std::filesystem::path documentFile, std::string startPage)
    : documentFile_(std::move(documentFile)),
      startPage_(StartPageArchivePath(startPage)),
      startUrl_(startPage.empty() ? std::string() : StartUrl(startPage)) {}

TDocumentSearch::~TDocumentSearch() = default;

// The window's own reader keeps no descriptor that threads may share, so the index reads the
// document through a snapshot of its own. Reading the registry again and checking every block of
// a carried index take long enough on a large document to be kept off the window's thread.
void TDocumentSearch::Prepare() {
  if (opening_.valid() || index_ || !openError_.empty())
    return;
  opening_ = std::async(std::launch::async, [file = documentFile_, startPage = startPage_] {
    auto index = std::make_unique<search::TBackgroundIndex>(
        std::make_shared<const TArchiveSnapshot>(file), startPage);
    index->State();
    return index;
  });
}

search::TBackgroundIndex* TDocumentSearch::Index() {
  Prepare();
  if (opening_.valid() && opening_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
    try {
      index_ = opening_.get();
    } catch (const std::exception& failure) {
      openError_ = failure.what();
    }
  }
  return index_.get();
}

std::string TDocumentSearch::ResultsPage(std::string_view address) {
  const auto query = search::ParseResultsQuery(QueryString(address));
  const auto addresses = ViewerAddresses(startUrl_);
  auto* index = Index();
  if (!index) {
    return openError_.empty()
               ? search::StatusPageHtml(query, "Opening the search index", true, addresses)
               : search::StatusPageHtml(query, openError_, false, addresses);
  }
  const auto state = index->State();
  if (!state.Index) {
    const bool indexing = state.Error.empty();
    const std::string message =
        indexing ? "Indexing the document for search: " + std::to_string(state.Percent) + "%"
                 : state.Error;
    return search::StatusPageHtml(query, message, indexing, addresses);
  }
  const auto results = state.Index->Search(query.Text, query.Start, query.Limit);
  return search::ResultsPageHtml(query, results, state.Refusal, addresses);
}

std::vector<search::TSuggestion> TDocumentSearch::Suggest(std::string_view typed) {
  const auto word = LastWord(typed);
  auto* index = word.empty() ? nullptr : Index();
  if (!index)
    return {};
  const auto state = index->State();
  return state.Index ? state.Index->Suggest(word, kSuggestions)
                     : std::vector<search::TSuggestion>{};
}

}  // namespace tomelet
