#include <gtest/gtest.h>
#include <xapian.h>

#include "search/IndexFormat.h"
#include "search/SearchIndex.h"
#include "search/SectionPages.h"

namespace tomelet::search {
namespace {

// Five sections listed as runs of pages, as an index of the current version keeps them.
class SectionPagesTest : public ::testing::Test {
 protected:
  SectionPagesTest() : database_(std::string(), Xapian::DB_BACKEND_INMEMORY) {
    for (int i = 0; i < 5; ++i) {
      database_.add_document(Xapian::Document());
    }
  }

  TSectionPages Listed(const std::vector<std::uint64_t>& runs, std::uint64_t pageCount = 3) {
    database_.set_metadata(std::string(format::kSectionPagesKey), format::EncodeCounts(runs));
    return TSectionPages(database_, pageCount, kIndexFormatVersion);
  }

  Xapian::WritableDatabase database_;
};

TEST_F(SectionPagesTest, EachSectionFindsItsPageAndEachPageItsFirstSection) {
  const TSectionPages pages = Listed({0, 2, 2, 3});
  EXPECT_EQ(pages.PageOf(1), 0U);
  EXPECT_EQ(pages.PageOf(2), 0U);
  EXPECT_EQ(pages.PageOf(3), 2U);
  EXPECT_EQ(pages.PageOf(5), 2U);
  EXPECT_EQ(pages.FirstOf(2), 3U);
  EXPECT_EQ(pages.FirstOf(1), 0U) << "a page without sections";
}

TEST_F(SectionPagesTest, AListThatDoesNotAddUpIsRefusedAsDamaged) {
  for (const auto& runs : std::vector<std::vector<std::uint64_t>>{
           {0, 2, 1},                 // a page without its count
           {0, 2, 1, 4},              // more sections than the index holds
           {0, 0, 1, 5},              // a run of none
           {3, 5},                    // a page beyond the pages
           {0, 1, 1, UINT64_MAX}}) {  // a count that would wrap around
    EXPECT_THROW(Listed(runs), ESearchIndexError);
  }
  database_.set_metadata(std::string(format::kSectionPagesKey), "\x05\x01");
  EXPECT_THROW(TSectionPages(database_, 3, kIndexFormatVersion), ESearchIndexError)
      << "a list cut short";
}

}  // namespace
}  // namespace tomelet::search
