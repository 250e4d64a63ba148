#include "Unit1/SidePane.h"

#include <algorithm>

#include "document/Document.h"
#include "document/DocumentAddress.h"
#include "document/DocumentEntries.h"
#include "document/DocumentRequest.h"
#include "platform/process/FreedMemory.h"
#include "platform/streams/Streams.h"
#include "search/ResultsPage.h"
#include "search/SearchIndex.h"

namespace tomelet {
namespace {

std::string BackslashSeparated(std::string_view page) {
  std::string path(page);
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

struct TWanted {
  std::string Page;    // archive path, "\" between folders
  std::string Anchor;  // decoded
};

// How well a line matches the page shown: 3 for its anchor too, 2 for the top of the page,
// 1 for another place on the page, 0 for another page.
int Closeness(const TContentsItem& item, const TWanted& wanted) {
  if (item.Page.empty() || BackslashSeparated(item.Page) != wanted.Page)
    return 0;
  if (item.Anchor == wanted.Anchor)
    return wanted.Anchor.empty() ? 2 : 3;
  return item.Anchor.empty() ? 2 : 1;
}

void FindClosest(const TContents& items, const TWanted& wanted, std::vector<std::size_t>& at,
                 int& bestCloseness, std::vector<std::size_t>& best) {
  for (std::size_t i = 0; i < items.size() && bestCloseness < 3; ++i) {
    at.push_back(i);
    const int closeness = Closeness(items[i], wanted);
    if (closeness > bestCloseness) {
      bestCloseness = closeness;
      best = at;
    }
    FindClosest(items[i].Children, wanted, at, bestCloseness, best);
    at.pop_back();
  }
}

}  // namespace

std::string MapItemAddress(std::string_view page, std::string_view anchor) {
  return search::HitAddress({std::string(page), std::string(anchor), "", "", 0},
                            kDocumentUrlPrefix);
}

std::vector<std::size_t> CurrentContentsItem(const TContents& contents, std::string_view address) {
  if (!HasDocumentPrefix(address))
    return {};
  const auto hash = address.find('#');
  const TWanted wanted{UrlToArchivePath(address.substr(0, hash)),
                       hash == std::string_view::npos ? "" : UrlDecode(address.substr(hash + 1))};
  std::vector<std::size_t> at, best;
  int bestCloseness = 0;
  FindClosest(contents, wanted, at, bestCloseness, best);
  return best;
}

std::vector<search::TOutlineHeading> PageOutlineAt(const TDocument& document,
                                                   std::string_view address) {
  if (!HasDocumentPrefix(address))
    return {};
  address = address.substr(0, address.find('#'));
  try {
    const auto location = LocateEntry(document, address.substr(kDocumentUrlPrefix.size()));
    if (!location.Entry.Found() || !search::IsHtmlPageName(location.StoredPath))
      return {};
    const auto bytes = document.Contents(location.Entry.Index);
    return search::PageOutline(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  } catch (const std::exception&) {
    return {};
  }
}

TDocumentMapLoader::TDocumentMapLoader(std::shared_ptr<const TDocument> document,
                                       std::string startPageOption)
    : document_(std::move(document)), startPagePath_(StartPageArchivePath(startPageOption)) {}

TDocumentMapLoader::~TDocumentMapLoader() = default;

// Deriving the map takes seconds on a large document, so it is kept off the window's thread.
void TDocumentMapLoader::Prepare() {
  if (reading_.valid() || map_)
    return;
  reading_ = std::async(std::launch::async, [document = document_, startPagePath = startPagePath_] {
    std::shared_ptr<const TDocumentMap> map;
    try {
      map = search::OpenDocumentMap(*document, startPagePath);
    } catch (const std::exception&) {
      map = std::make_shared<const TDocumentMap>();
    }
    // Reading a large map passes through about twice its final size, which the allocator
    // would otherwise keep for the rest of the run.
    ReturnFreedMemory();
    return map;
  });
}

std::shared_ptr<const TDocumentMap> TDocumentMapLoader::Map() {
  if (!map_ && reading_.valid() &&
      reading_.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
    map_ = reading_.get();
  return map_;
}

}  // namespace tomelet
