#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <tuple>

#include "tests/search/SearchFixtures.h"

namespace tomelet::search::testing {
namespace {

class SearchResultsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    bytes_ = new std::vector<std::byte>(BuildIndex(ManualPages()));
    file_ = new TIndexFile(*bytes_, ManualPages());
    index_ = file_->Open().release();
  }
  static void TearDownTestSuite() {
    delete index_;
    delete file_;
    delete bytes_;
  }
  static TSearchResults Search(std::string_view query, std::size_t start = 0,
                               std::size_t limit = 10) {
    return index_->Search(query, start, limit);
  }

  static std::vector<std::byte>* bytes_;
  static TIndexFile* file_;
  static TSearchIndex* index_;
};

std::vector<std::byte>* SearchResultsTest::bytes_ = nullptr;
TIndexFile* SearchResultsTest::file_ = nullptr;
TSearchIndex* SearchResultsTest::index_ = nullptr;

TEST_F(SearchResultsTest, HeadingsPointAtTheirSectionAndStemmedWordsMatch) {
  auto results = Search("writing");
  ASSERT_FALSE(results.Hits.empty());
  EXPECT_EQ(Paths(results)[0], "guide\\files.html#writing");
  EXPECT_EQ(results.Hits[0].Title, "Reading files");
  EXPECT_NE(results.Hits[0].Snippet.find("<b>Writing</b>"), std::string::npos);
  EXPECT_GT(results.Hits[0].Score, 0);

  results = Search("reads");
  ASSERT_FALSE(results.Hits.empty());
  EXPECT_EQ(results.Hits[0].Path, "guide\\files.html");
}

TEST_F(SearchResultsTest, ADefinedNameFindsItsDefinition) {
  for (const char* query : {"re.sub", "re.sub()", "RE.SUB"}) {
    const auto results = Search(query);
    ASSERT_FALSE(results.Hits.empty()) << query;
    EXPECT_EQ(Paths(results)[0], "library\\re.html#re.sub") << query;
  }
}

TEST_F(SearchResultsTest, ScriptsStylesAndNavigationAreNotText) {
  EXPECT_EQ(Search("kitchen").Total, 0u);
  EXPECT_EQ(Search("gardening").Total, 0u);
  EXPECT_EQ(Search("orchard").Total, 0u);
}

TEST_F(SearchResultsTest, AGeneratedListOfLinksComesAfterTheRealPage) {
  const auto results = Search("files");
  ASSERT_GE(results.Hits.size(), 2u);
  EXPECT_EQ(results.Hits[0].Path, "guide\\files.html");
}

TEST_F(SearchResultsTest, NonAsciiAndCjkQueriesFindTheirPages) {
  auto results = Search("café");
  ASSERT_FALSE(results.Hits.empty());
  EXPECT_EQ(results.Hits[0].Path, "intl\\fr.html");
  EXPECT_EQ(Search("zürich").Hits.size(), 1u);
  results = Search("検索");
  ASSERT_FALSE(results.Hits.empty());
  EXPECT_EQ(results.Hits[0].Path, "intl\\ja.html");
  EXPECT_NE(results.Hits[0].Snippet.find("<b>"), std::string::npos);
}

TEST_F(SearchResultsTest, EmptyStopWordAndMalformedQueriesGiveNoHitsWithoutFailing) {
  for (const char* query :
       {"", "   ", "the", "the of and", "AND", "\"unclosed", "((", "-", "\xff\xfe broken utf-8"}) {
    EXPECT_NO_THROW(Search(query)) << query;
  }
  EXPECT_EQ(Search("").Hits.size(), 0u);
  EXPECT_EQ(Search("the of").Hits.size(), 0u);
  EXPECT_EQ(Search("zzzznothing").Total, 0u);
}

TEST_F(SearchResultsTest, PagesOfResultsFollowOneAnotherWithoutRepeats) {
  const auto all = Search("widgets", 0, 100);
  ASSERT_EQ(all.Hits.size(), 30u);
  EXPECT_EQ(all.Total, 30u);
  std::vector<std::string> paged;
  for (std::size_t start = 0; start < 35; start += 7) {
    const auto page = Search("widgets", start, 7);
    EXPECT_EQ(page.Total, 30u);
    for (const auto& path : Paths(page)) {
      paged.push_back(path);
    }
  }
  EXPECT_EQ(paged, Paths(all));
  EXPECT_TRUE(Search("widgets", 30, 10).Hits.empty());
}

// Sections of one page that fill the best matches many times over still show as one hit, and
// the pages after it are found below them.
TEST(OneHitAPageTest, APageOfManyMatchingSectionsLeavesRoomForTheNextPages) {
  std::string sections;
  for (int i = 0; i < 40; ++i) {
    sections += "<h2 id='s" + std::to_string(i) + "'>Gizmo " + std::to_string(i) +
                "</h2><p>gizmo gizmo gizmo</p>";
  }
  TPages pages = {{"gizmos.html", Page("Gizmos", sections)}};
  for (int i = 0; i < 3; ++i) {
    pages.emplace_back("other" + std::to_string(i) + ".html",
                       Page("Other " + std::to_string(i),
                            "<p>A long page about many other things that names a gizmo once, "
                            "among sprockets, levers, pulleys and wheels number " +
                                std::to_string(i) + ".</p>"));
  }
  const TIndexFile file(pages);
  const auto index = file.Open();
  const auto all = index->Search("gizmo", 0, 100);
  const auto allPaths = Paths(all);
  EXPECT_EQ(allPaths.size(), 4u);
  EXPECT_EQ(all.Total, 4u);
  EXPECT_TRUE(all.TotalExact);
  ASSERT_FALSE(all.Hits.empty());
  EXPECT_EQ(all.Hits[0].Path, "gizmos.html");
  const auto first = index->Search("gizmo", 0, 2);
  ASSERT_EQ(first.Hits.size(), 2u);
  EXPECT_EQ(Paths(first), std::vector<std::string>(allPaths.begin(), allPaths.begin() + 2));
  EXPECT_EQ(Paths(index->Search("gizmo", 2, 2)),
            std::vector<std::string>(allPaths.begin() + 2, allPaths.end()));
}

// A ranking's hits, read in any order as a merge shows them, are what one search gives.
TEST_F(SearchResultsTest, ARankingReadInAnyOrderReadsTheHitsOfOneSearch) {
  const auto all = Search("widgets", 0, 100);
  EXPECT_EQ(index_->Rank("widgets", 4)->Size(), 4u);
  auto ranking = index_->Rank("widgets", 100);
  ASSERT_EQ(ranking->Size(), all.Hits.size());
  EXPECT_EQ(ranking->Total(), all.Total);
  EXPECT_TRUE(ranking->TotalExact());
  for (std::size_t rank = ranking->Size(); rank-- > 0;) {
    const auto hit = ranking->Hit(rank);
    const auto& expected = all.Hits[rank];
    EXPECT_EQ(ranking->Score(rank), expected.Score);
    EXPECT_EQ(
        std::tie(hit.Path, hit.Anchor, hit.Title, hit.Snippet, hit.Score),
        std::tie(expected.Path, expected.Anchor, expected.Title, expected.Snippet, expected.Score))
        << rank;
  }
  EXPECT_EQ(index_->Rank("zzzznothing", 10)->Size(), 0u);
}

TEST_F(SearchResultsTest, SuggestionsAreTitlesWithAWordStartingWithThePrefix) {
  auto suggestions = index_->Suggest("REA", 5);
  ASSERT_FALSE(suggestions.empty());
  EXPECT_EQ(suggestions[0].Title, "Reading files");
  suggestions = index_->Suggest("expr", 5);
  ASSERT_EQ(suggestions.size(), 1u);
  EXPECT_EQ(suggestions[0].Path, "library\\re.html");
  suggestions = index_->Suggest("fil", 5);
  ASSERT_EQ(suggestions.size(), 2u);
  EXPECT_EQ(suggestions.back().Path, "genindex.html");  // generated lists come last
  EXPECT_EQ(index_->Suggest("note", 3).size(), 3u);
  EXPECT_TRUE(index_->Suggest("", 5).empty());
  EXPECT_EQ(index_->Suggest("caf", 5).size(), 1u);
}

// Rankings keep their reader while their hits are read, among searches on other threads.
TEST_F(SearchResultsTest, ConcurrentQueriesGiveTheSameAnswersAsOneAtATime) {
  const std::vector<std::string> queries = {"widgets", "files", "re.sub", "café", "note 7"};
  std::vector<std::vector<std::string>> expected;
  for (const auto& query : queries) {
    expected.push_back(Paths(Search(query, 0, 20)));
  }
  std::vector<std::thread> threads;
  std::vector<int> wrong(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) {
        const std::size_t which = static_cast<std::size_t>(t + i) % queries.size();
        if (Paths(Search(queries[which], 0, 20)) != expected[which]) {
          ++wrong[t];
        }
        const auto ranking = index_->Rank(queries[which], 20);
        TSearchResults read;
        for (std::size_t rank = 0; rank < ranking->Size(); ++rank) {
          read.Hits.push_back(ranking->Hit(rank));
        }
        if (Paths(read) != expected[which]) {
          ++wrong[t];
        }
        index_->Suggest("no", 5);
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(wrong, std::vector<int>(8, 0));
}

// A word weighs more in a short section than once among many words, and more the more often a
// section has it: each count is weighed against the average length of all the sections, which
// is known once every page is counted. Tied, they would come in the pages' order.
TEST(IndexBuildingTest, AWordWeighsMoreInAShortSectionAndTheMoreOftenASectionHasIt) {
  std::string filler;
  for (int i = 0; i < 300; ++i) {
    filler += " lever" + std::to_string(i);
  }
  const TPages pages = {
      {"long.html", Page("Long", "<p>A zebra among" + filler + ".</p>")},
      {"short.html", Page("Short", "<p>A zebra.</p>")},
      {"often.html", Page("Often", "<p>Zebra, zebra, zebra:" + filler.substr(0, 400) + ".</p>")},
  };
  const TIndexFile file(pages);
  EXPECT_EQ(Paths(file.Open()->Search("zebra", 0, 3)),
            (std::vector<std::string>{"often.html", "short.html", "long.html"}));
}

TEST(IndexBuildingTest, TheSamePagesGiveTheSameBytes) {
  EXPECT_EQ(BuildIndex(ManualPages()), BuildIndex(ManualPages()));
}

// One thread indexes the pages in order while the others read and term them ahead, from the
// other end of the queue, in whatever order their timing gives; pages of very unequal length
// make them overtake one another. Neither that nor their number may show in the bytes, and each
// page is read once, all of them before the merge.
TEST(IndexBuildingTest, TheSamePagesGiveTheSameBytesOnAnyNumberOfThreads) {
  TPages pages = ManualPages();
  for (int page = 0; page < 12; ++page) {
    std::string body;
    for (int section = 0; section < (page % 3 == 0 ? 300 : 2); ++section) {
      body += "<h2 id='s" + std::to_string(section) + "'>Topic " + std::to_string(section) +
              "</h2><p>Long page " + std::to_string(page) + " says qz" + std::to_string(section) +
              ".</p>";
    }
    pages.emplace_back("long" + std::to_string(page) + ".html", Page("Long", body));
  }
  const auto oneThread = BuildIndex(pages, "en", 1);
  for (const std::size_t threads : {2, 3, 8, 20}) {
    std::mutex lock;
    std::vector<int> reads(pages.size());
    TIndexBuilder builder({"en", pages.size(), threads},
                          [&](std::uint64_t number, std::string_view, const TPageText&) {
                            const std::lock_guard guard(lock);
                            ++reads.at(number);
                          });
    for (const auto& [path, html] : pages) {
      builder.AddPage(path, html);
    }
    builder.FinishPages();
    EXPECT_EQ(reads, std::vector<int>(pages.size(), 1)) << threads << " threads";
    EXPECT_EQ(builder.Finish(), oneThread) << threads << " threads";
  }
}

// Until every page is counted, the sections' terms wait in memory up to a bound and in a
// scratch file beyond it, a very large site mostly in the file; where they waited never shows.
TEST(IndexBuildingTest, TheBytesAreTheSameWhereverTheSectionsTermsWaited) {
  TPages pages = ManualPages();
  for (int page = 0; page < 6; ++page) {
    std::string body;
    for (int section = 0; section < 40; ++section) {
      body += "<h2>Part " + std::to_string(section) + "</h2><p>Page " + std::to_string(page) +
              " tells of qz" + std::to_string(section * page) + " and widgets.</p>";
    }
    pages.emplace_back("parts" + std::to_string(page) + ".html", Page("Parts", body));
  }
  const auto inMemory = BuildIndex(pages, "en");
  for (const std::size_t held : {0, 1, 700}) {
    EXPECT_EQ(BuildIndex(pages,
                         TIndexSettings{
                             .Language = "en", .PageCount = pages.size(), .HeldTermBytes = held}),
              inMemory)
        << held << " bytes held";
  }
}

// Given up half way, with shares waiting for pages that never come, a build stops at once.
TEST(IndexBuildingTest, ABuilderGivenUpHalfWayStopsWithoutWaitingForItsPages) {
  TIndexBuilder builder({"en", 100, 2});
  for (const auto& [path, html] : ManualPages()) {
    builder.AddPage(path, html);
  }
}

// Section texts are kept in blocks of consecutive sections, defined names in one table, and
// pages are indexed in shares: every section, on either side of a block's edge, in any share,
// even after a share without sections, must still lead to its own page, anchor and words, and
// every defined name to its definition.
TEST(IndexBuildingTest, EverySectionKeepsItsAnchorAndSnippetAcrossBlocksAndShares) {
  for (const std::vector<int>& sectionsPerPage :
       {std::vector<int>{150, 150, 150}, std::vector<int>{0, 0, 150, 130}}) {
    TPages pages;
    for (std::size_t page = 0; page < sectionsPerPage.size(); ++page) {
      std::string body;
      for (int section = 0; section < sectionsPerPage[page]; ++section) {
        const std::string id = std::to_string(page * 1000 + section);
        body += section % 100 == 99 ? "<dl><dt id='d" + id + "'>d" + id +
                                          "()</dt><dd>Only this says qz" + id + ".</dd></dl>"
                                    : "<h2 id='s" + id + "'>Topic " + id +
                                          "</h2><p>Only this topic says qz" + id + ".</p>";
      }
      pages.emplace_back("p" + std::to_string(page) + ".html", Page("Page", body));
    }
    const TIndexFile file(pages);
    const auto index = file.Open();
    for (std::size_t page = 0; page < sectionsPerPage.size(); ++page) {
      for (int section = 0; section < sectionsPerPage[page]; ++section) {
        const std::string id = std::to_string(page * 1000 + section);
        const std::string anchor = (section % 100 == 99 ? "#d" : "#s") + id;
        const std::string word = "qz" + id;
        const auto results = index->Search(word, 0, 10);
        ASSERT_EQ(results.Hits.size(), 1u) << word;
        EXPECT_EQ(Paths(results)[0], "p" + std::to_string(page) + ".html" + anchor);
        EXPECT_NE(results.Hits[0].Snippet.find("<b>" + word + "</b>"), std::string::npos)
            << results.Hits[0].Snippet;
        if (section % 100 == 99) {
          EXPECT_EQ(Paths(index->Search("d" + id + "()", 0, 10))[0],
                    "p" + std::to_string(page) + ".html#d" + id);
        }
      }
    }
  }
}

TEST(IndexBuildingTest, TheLanguageChoosesTheStemmer) {
  const TPages pages = {{"de.html", Page("Häuser", "<p>Die Häuser der Stadt.</p>", "de")}};
  const TIndexFile german(pages, "de");
  const auto index = german.Open();
  EXPECT_EQ(index->Language(), "de");
  EXPECT_EQ(index->Search("Haus", 0, 10).Hits.size(), 1u);
  // Stems a thread remembers for one language are not taken for another's.
  const TIndexFile english(pages, "en");
  const auto other = english.Open();
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(index->Search("Häuser", 0, 10).Hits.size(), 1u);
    EXPECT_EQ(other->Search("Häuser", 0, 10).Hits.size(), 1u);
    EXPECT_TRUE(other->Search("Haus", 0, 10).Hits.empty());
  }
  const TIndexFile unknown(pages, "tlh");
  EXPECT_EQ(unknown.Open()->Language(), "none");
  EXPECT_EQ(PageLanguage(pages[0].second), "de");
}

}  // namespace
}  // namespace tomelet::search::testing
