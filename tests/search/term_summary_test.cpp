// The summary of an index bounds every query's best score in it: a library skips an index only
// when none of its hits can be among those shown.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "search/TermSummary.h"
#include "tests/search/SearchFixtures.h"

namespace tomelet::search {
namespace {

using testing::BuildIndex;
using testing::Page;
using testing::TIndexFile;
using testing::TPages;

// The manual, and words of every weight: on every page, on a few, repeated, with accents.
TPages SummarizedPages() {
  TPages pages = testing::ManualPages();
  for (int i = 0; i < 12; ++i) {
    pages.emplace_back("common" + std::to_string(i) + ".html",
                       Page("Common " + std::to_string(i),
                            "<h1>Common</h1><p>river " + std::string(i % 3 + 1, 'x') +
                                " river river résumé" + (i % 2 == 0 ? " delta" : "") + "</p>"));
  }
  return pages;
}

TEST(TermSummaryTest, NoQueryScoresAboveItsBoundAndOneWithoutAWordOfTheIndexScoresNothing) {
  const TIndexFile file(SummarizedPages());
  const auto index = file.Open();
  const auto summary = index->Summary();
  for (const std::string query :
       {"river", "files", "reading", "river delta", "\"river delta\"", "river -delta",
        "river NOT delta", "note AND widgets", "zebra OR widgets", "river river", "resume",
        "résumé", "cafe", "Zürich", "検索", "read* lines", "+river delta", "Common 3",
        "lines one by one"}) {
    const auto hits = index->Search(query, 0, 1).Hits;
    const double bound = TQueryBound(query).In(summary);
    ASSERT_FALSE(hits.empty()) << query;
    EXPECT_GE(bound, hits.front().Score) << query;
    // Tight enough to tell indexes apart: words alone are bounded.
    EXPECT_TRUE(std::isfinite(bound)) << query;
  }
  for (const std::string query : {"zebra", "zebra giraffe", "\"zebra giraffe\""}) {
    EXPECT_TRUE(index->Search(query, 0, 1).Hits.empty()) << query;
    EXPECT_EQ(TQueryBound(query).In(summary), 0) << query;
  }
  // A name the index defines or a page's title ranks above any words: no bound.
  for (const std::string query :
       {"re.sub", "sub", "Reading files", "manual", "re", "café", "Writing files", "note 7"}) {
    EXPECT_TRUE(std::isinf(TQueryBound(query).In(summary))) << query;
  }
}

TEST(TermSummaryTest, TheStoredFormGivesTheSameBoundsAndAnythingElseIsRefused) {
  const TIndexFile file(SummarizedPages(), "en");
  const auto summary = file.Open()->Summary();
  const std::string bytes = summary.Bytes();
  const auto read = TTermSummary::FromBytes(bytes);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Language(), "en");
  EXPECT_GT(read->TermCount(), 100u);
  for (const std::string query : {"river", "widgets note", "re.sub", "zebra"}) {
    EXPECT_EQ(TQueryBound(query).In(*read), TQueryBound(query).In(summary)) << query;
  }
  for (std::size_t size = 0; size < bytes.size(); size += 1 + size / 7) {
    EXPECT_FALSE(TTermSummary::FromBytes(bytes.substr(0, size))) << size;
  }
  EXPECT_FALSE(TTermSummary::FromBytes(bytes + "x"));
  // Terms out of order could not be looked up: the first two swapped (after the mark, whether
  // names are known, the highest bound, the language and the count).
  std::string swapped = bytes;
  const std::size_t terms = 9 + 1 + 8 + 4 + 2 + 4;
  std::swap_ranges(swapped.begin() + static_cast<std::ptrdiff_t>(terms),
                   swapped.begin() + static_cast<std::ptrdiff_t>(terms + 4),
                   swapped.begin() + static_cast<std::ptrdiff_t>(terms + 4));
  EXPECT_FALSE(TTermSummary::FromBytes(swapped));
}

}  // namespace
}  // namespace tomelet::search
