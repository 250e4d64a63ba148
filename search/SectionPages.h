// Which page each section of an index belongs to, read once from the sections' page values and
// kept in memory, so that ranking one hit a page reads no value per candidate section.
#pragma once

#include <xapian.h>

#include <cstdint>
#include <vector>

namespace tomelet::search {

class TSectionPages {
 public:
  TSectionPages() = default;
  // Reads the page value of every section. Throws ESearchIndexError (damaged) when a section
  // names no page below pageCount, and Xapian's errors as reading the database does.
  TSectionPages(const Xapian::Database& database, std::uint64_t pageCount);

  // The page of a section; a document without a page value counts with the section before it.
  std::uint64_t PageOf(Xapian::docid section) const;
  // The first section of page, 0 when it has none.
  Xapian::docid FirstOf(std::uint64_t page) const;

 private:
  // Sections of one page follow one another: each run of them, by its first section, ascending.
  std::vector<Xapian::docid> starts_;
  std::vector<std::uint32_t> pages_;
};

}  // namespace tomelet::search
