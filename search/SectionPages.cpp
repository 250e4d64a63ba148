// The page of each section, as runs of consecutive sections of one page.
#include "search/SectionPages.h"

#include <algorithm>
#include <string>

#include "search/IndexFormat.h"
#include "search/SearchIndex.h"

namespace tomelet::search {

namespace {

[[noreturn]] void ThrowDamaged() {
  throw ESearchIndexError(std::string(kDamagedIndexMessage));
}

}  // namespace

TSectionPages::TSectionPages(const Xapian::Database& database, std::uint64_t pageCount,
                             std::uint32_t version) {
  if (version >= format::kSectionPagesVersion) {
    ReadRuns(format::DecodeCounts(database.get_metadata(std::string(format::kSectionPagesKey))),
             pageCount, database.get_lastdocid());
    return;
  }
  for (auto it = database.valuestream_begin(format::kPageSlot);
       it != database.valuestream_end(format::kPageSlot); ++it) {
    const std::uint64_t page = format::PageOfKey(*it);
    if (page >= pageCount) {
      ThrowDamaged();
    }
    if (pages_.empty() || pages_.back() != page) {
      starts_.push_back(it.get_docid());
      pages_.push_back(static_cast<std::uint32_t>(page));
    }
  }
}

void TSectionPages::ReadRuns(const std::vector<std::uint64_t>& runs, std::uint64_t pageCount,
                             Xapian::docid lastSection) {
  if (runs.size() % 2 != 0) {
    ThrowDamaged();
  }
  std::uint64_t next = 1;
  for (std::size_t at = 0; at < runs.size(); at += 2) {
    const std::uint64_t page = runs[at];
    const std::uint64_t sections = runs[at + 1];
    if (page >= pageCount || sections == 0 || sections > lastSection + std::uint64_t{1} - next) {
      ThrowDamaged();
    }
    starts_.push_back(static_cast<Xapian::docid>(next));
    pages_.push_back(static_cast<std::uint32_t>(page));
    next += sections;
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
