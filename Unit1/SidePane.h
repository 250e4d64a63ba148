// The viewer's side pane without its widgets: the document's map, read or derived on a thread of
// its own the first time the pane is shown, which line of the contents the page shown is, the
// address an item of the map leads to, and the outline of the page shown.
#pragma once

#include <cstddef>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/DocumentMap.h"
#include "search/DocumentMapBuilder.h"

namespace tomelet {

class TDocument;

// How many keywords the Index list shows for what was typed.
inline constexpr std::size_t kListedKeywords = 200;

// The address in the document of a page (an archive path, "/" or "\" between folders) and an
// anchor on it (may be empty).
std::string MapItemAddress(std::string_view page, std::string_view anchor);

// The line of the contents that stands for the page at address, as the indices of its ancestors
// and its own, from the top; empty when no line leads to that page. A line with the address's
// anchor wins, then one to the top of the page, then the first line to the page at all.
std::vector<std::size_t> CurrentContentsItem(const TContents& contents, std::string_view address);

// The headings of the document's page at address; none when it is not a page of the document
// or cannot be read. Never throws.
std::vector<search::TOutlineHeading> PageOutlineAt(const TDocument& document,
                                                   std::string_view address);

class TDocumentMapLoader {
 public:
  // startPageOption as the options name it. Nothing is read before Prepare. Waits for a map being
  // read when destroyed.
  TDocumentMapLoader(std::shared_ptr<const TDocument> document, std::string startPageOption);
  ~TDocumentMapLoader();
  TDocumentMapLoader(const TDocumentMapLoader&) = delete;
  TDocumentMapLoader& operator=(const TDocumentMapLoader&) = delete;

  // Starts reading the map (or deriving it, for a document that carries none) in the background.
  void Prepare();
  // The map once it is ready; null before. A document whose map cannot be had gets an empty one.
  std::shared_ptr<const TDocumentMap> Map();

 private:
  std::shared_ptr<const TDocument> document_;
  std::string startPagePath_;
  std::future<std::shared_ptr<const TDocumentMap>> reading_;
  std::shared_ptr<const TDocumentMap> map_;
};

}  // namespace tomelet
