// Which page each section of an index belongs to, read once from the list of them (or, in indexes
// before it, from the sections' page values) and kept in memory, so that ranking one hit a page
// reads nothing per candidate section.
#pragma once

#include <xapian.h>

#include <cstdint>
#include <vector>

namespace tomelet::search {

class TSectionPages {
 public:
  TSectionPages() = default;
  // Reads the pages of the sections of an index of that version. Throws ESearchIndexError
  // (damaged) when a section names no page below pageCount or the list does not add up, and
  // Xapian's errors as reading the database does.
  TSectionPages(const Xapian::Database& database, std::uint64_t pageCount, std::uint32_t version);

  // The page of a section; a document without a page value counts with the section before it.
  std::uint64_t PageOf(Xapian::docid section) const;
  // The first section of page, 0 when it has none.
  Xapian::docid FirstOf(std::uint64_t page) const;

 private:
  void ReadRuns(const std::vector<std::uint64_t>& runs, std::uint64_t pageCount,
                Xapian::docid lastSection);

  // Sections of one page follow one another: each run of them, by its first section, ascending.
  std::vector<Xapian::docid> starts_;
  std::vector<std::uint32_t> pages_;
};

}  // namespace tomelet::search
