// The page of each section, as runs of consecutive sections of one page.
#include "search/SectionPages.h"

#include <algorithm>
#include <string>

#include "search/IndexFormat.h"
#include "search/SearchIndex.h"

namespace tomelet::search {

TSectionPages::TSectionPages(const Xapian::Database& database, std::uint64_t pageCount) {
  for (auto it = database.valuestream_begin(format::kPageSlot);
       it != database.valuestream_end(format::kPageSlot); ++it) {
    const std::uint64_t page = format::PageOfKey(*it);
    if (page >= pageCount) {
      throw ESearchIndexError(std::string(kDamagedIndexMessage));
    }
    if (pages_.empty() || pages_.back() != page) {
      starts_.push_back(it.get_docid());
      pages_.push_back(static_cast<std::uint32_t>(page));
    }
  }
}

std::uint64_t TSectionPages::PageOf(Xapian::docid section) const {
  const auto after = std::upper_bound(starts_.begin(), starts_.end(), section);
  return after == starts_.begin() ? 0
                                  : pages_[static_cast<std::size_t>(after - starts_.begin() - 1)];
}

Xapian::docid TSectionPages::FirstOf(std::uint64_t page) const {
  // Pages follow one another too, in a sound index.
  const auto found = std::lower_bound(pages_.begin(), pages_.end(), page);
  return found != pages_.end() && *found == page
             ? starts_[static_cast<std::size_t>(found - pages_.begin())]
             : 0;
}

}  // namespace tomelet::search
