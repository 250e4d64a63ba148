// One search across documents of different languages: every page of results is the same slice of
// one list merged from each index's complete ranking, whichever document holds the best hits, and
// every hit shown carries its snippet.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/DocumentEntries.h"
#include "library/Library.h"
#include "library/LibrarySearch.h"
#include "library/TermSummaries.h"
#include "library/Workers.h"
#include "search/DocumentIndex.h"
#include "search/SearchIndex.h"

namespace tomelet::library {
namespace {

namespace fs = std::filesystem;

std::string Page(const std::string& lang, const std::string& title, const std::string& body) {
  return "<!DOCTYPE html><html lang=\"" + lang + "\"><head><title>" + title +
         "</title></head><body><h1>" + title + "</h1><p>" + body + "</p></body></html>";
}

std::string Repeated(const std::string& words, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) {
    text += words + " ";
  }
  return text;
}

// count pages in lang, page i mentioning word (i % 7 + 1) times among filler of its own length.
void WriteDocument(const fs::path& path, const std::string& lang, const std::string& word,
                   int count) {
  search::TIndexBuilder builder({lang, static_cast<std::size_t>(count)});
  TZLBArchiveWriter writer;
  for (int i = 0; i < count; ++i) {
    const std::string name = "page" + std::to_string(i) + ".html";
    const std::string html =
        Page(lang, "Page " + std::to_string(i),
             Repeated(word, i % 7 + 1) + Repeated("filler text", i % 5 + 1) + std::to_string(i));
    builder.AddPage(name, html);
    writer.AddEntry(name, html);
  }
  writer.AddEntry(kIndexEntry, builder.Finish(), fcNone);
  writer.WriteFile(path.string());
}

using THitKey = std::tuple<std::string, std::string, double>;

class MergedSearchTest : public ::testing::Test {
 protected:
  MergedSearchTest() {
    fs::create_directories(folder_);
    ::setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1);
    // One document holds most of the pages, so it must give many of the best hits.
    WriteDocument(folder_ / "a-big.tlt", "en", "rivers", 60);
    WriteDocument(folder_ / "b-german.tlt", "de", "Flüsse river", 9);
    WriteDocument(folder_ / "c-french.tlt", "fr", "rivières river", 5);
    WriteDocument(folder_ / "d-small.tlt", "en", "river", 3);
    library_ = std::make_unique<TLibrary>(std::vector<fs::path>{folder_});
  }
  ~MergedSearchTest() override {
    library_.reset();
    fs::remove_all(folder_);
  }

  // Every index's whole ranking, merged: best first, equal scores in the documents' order.
  std::vector<THitKey> Expected(const std::string& text) const { return Expected(*library_, text); }
  static std::vector<THitKey> Expected(const TLibrary& library, const std::string& text) {
    std::vector<std::pair<std::size_t, THitKey>> all;
    for (const auto& document : *library.Documents()) {
      const auto index = document->Index()->OpenedState().Index;
      for (const auto& hit : index->Search(text, 0, 1000).Hits) {
        all.push_back({all.size(), {document->Name(), hit.Path, hit.Score}});
      }
    }
    std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
      return std::get<2>(a.second) > std::get<2>(b.second);
    });
    std::vector<THitKey> keys;
    for (const auto& [order, key] : all) {
      keys.push_back(key);
    }
    return keys;
  }

  // Searched all at once, or a few documents at a time as a library keeping few open does, each
  // page of results is a slice of Expected, with the total of every index.
  void ExpectSlicesOfTheWholeRanking(const std::string& text) const {
    const auto documents = library_->Documents();
    const auto expected = Expected(text);
    ASSERT_GT(expected.size(), 40u) << text;
    std::uint64_t total = 0;
    for (const auto& document : *documents) {
      total += document->Index()->OpenedState().Index->Rank(text, 1)->Total();
    }
    for (const auto& [start, limit, heldAtOnce] :
         std::vector<std::tuple<std::size_t, std::size_t, std::size_t>>{{0, 10, SIZE_MAX},
                                                                        {0, 1, SIZE_MAX},
                                                                        {3, 5, SIZE_MAX},
                                                                        {9, 10, SIZE_MAX},
                                                                        {0, 45, SIZE_MAX},
                                                                        {30, 20, SIZE_MAX},
                                                                        {200, 10, SIZE_MAX},
                                                                        {0, 10, 1},
                                                                        {3, 5, 3},
                                                                        {30, 20, 3},
                                                                        {0, 45, 1}}) {
      const auto results = SearchLibrary(*documents, {text, {}}, start, limit, {}, heldAtOnce);
      // Documents whose hits cannot be shown are skipped, each counted as one page.
      EXPECT_TRUE(results.TotalExact ? results.Total == total : results.Total <= total)
          << results.Total << " of " << total;
      // Ranked and read on helper threads, the same hits with the same snippets.
      const auto helped =
          SearchLibrary(*documents, {text, {}}, start, limit, {}, heldAtOnce, &workers_);
      ASSERT_EQ(helped.Hits.size(), results.Hits.size());
      for (std::size_t i = 0; i < results.Hits.size(); ++i) {
        EXPECT_EQ(helped.Hits[i].Document, results.Hits[i].Document);
        EXPECT_EQ(helped.Hits[i].Hit.Path, results.Hits[i].Hit.Path);
        EXPECT_EQ(helped.Hits[i].Hit.Snippet, results.Hits[i].Hit.Snippet);
      }
      EXPECT_TRUE(results.Indexing.empty());
      EXPECT_TRUE(results.Failed.empty());
      std::vector<THitKey> shown;
      for (const auto& [document, hit] : results.Hits) {
        shown.push_back({document, hit.Path, hit.Score});
        EXPECT_NE(hit.Snippet.find("<b>"), std::string::npos) << document << " " << hit.Path;
      }
      const auto first = std::min(start, expected.size());
      const std::vector<THitKey> slice(
          expected.begin() + static_cast<std::ptrdiff_t>(first),
          expected.begin() + static_cast<std::ptrdiff_t>(std::min(start + limit, expected.size())));
      EXPECT_EQ(shown, slice) << text << " from " << start << ", " << limit << " by " << heldAtOnce;
    }
  }

  fs::path folder_ =
      fs::temp_directory_path() / ("tomelet-merged-search-" + std::to_string(::getpid()));
  std::unique_ptr<TLibrary> library_;
  mutable TWorkers workers_{2};
};

TEST_F(MergedSearchTest, EveryPageOfResultsIsASliceOfTheWholeMergedRanking) {
  for (const std::string text : {"river", "rivers", "filler river"}) {
    ExpectSlicesOfTheWholeRanking(text);
  }
  const auto documents = library_->Documents();
  // Each document's own stemmer: only the German one takes "Flüssen" to its "Flüsse".
  const auto german = SearchLibrary(*documents, {"Flüssen", {}}, 0, 10, {});
  ASSERT_FALSE(german.Hits.empty());
  for (const auto& [document, hit] : german.Hits) {
    EXPECT_EQ(document, "b-german");
  }
}

TEST_F(MergedSearchTest, ScopeAndFilterKeepOtherDocumentsOutOfTheMerge) {
  const auto documents = library_->Documents();
  const auto scoped = SearchLibrary(*documents, {"river", {"d-small", "c-french"}}, 0, 10, {});
  const auto allowed =
      SearchLibrary(*documents, {"river", {}}, 0, 10, [](const TLibraryDocument& document) {
        return document.Name() != "a-big" && document.Name() != "b-german";
      });
  ASSERT_EQ(scoped.Hits.size(), 8u);
  ASSERT_EQ(allowed.Hits.size(), 8u);
  const auto suggested = SuggestLibrary(*documents, {"page", {"d-small", "c-french"}}, 20, {}, 1);
  ASSERT_EQ(suggested.size(), 8u);
  for (const auto& suggestion : suggested) {
    EXPECT_TRUE(suggestion.Document == "d-small" || suggestion.Document == "c-french");
  }
  for (std::size_t i = 0; i < scoped.Hits.size(); ++i) {
    EXPECT_NE(scoped.Hits[i].Document, "a-big");
    EXPECT_EQ(scoped.Hits[i].Document, allowed.Hits[i].Document);
    EXPECT_EQ(scoped.Hits[i].Hit.Path, allowed.Hits[i].Hit.Path);
  }
}

// Copies of a document (a hard link, a copy) rank one index for all, as each would rank on its
// own; a copy written over with other pages is ranked on its own again.
TEST_F(MergedSearchTest, CopiesRankAsEachWouldAndAChangedCopyRanksOnItsOwn) {
  fs::create_hard_link(folder_ / "a-big.tlt", folder_ / "e-link.tlt");
  fs::copy_file(folder_ / "a-big.tlt", folder_ / "f-copy.tlt");
  fs::copy_file(folder_ / "d-small.tlt", folder_ / "g-copy.tlt");
  const fs::path later = folder_.string() + "-later";
  fs::create_directories(later);
  fs::copy_file(folder_ / "a-big.tlt", later / "h-copy.tlt");
  // Only files settled for a while are remembered as checked, and so known as copies.
  std::this_thread::sleep_for(std::chrono::milliseconds(5200));
  library_ = std::make_unique<TLibrary>(std::vector<fs::path>{folder_});
  ExpectSlicesOfTheWholeRanking("river");
  ExpectSlicesOfTheWholeRanking("filler river");

  // A copy never opened, searched two documents at a time: compared in a later group.
  library_ = std::make_unique<TLibrary>(std::vector<fs::path>{folder_, later / "h-copy.tlt"});
  const auto grouped = SearchLibrary(*library_->Documents(), {"river", {}}, 0, 45, {}, 2);
  const auto expected = Expected("river");
  ASSERT_EQ(grouped.Hits.size(), 45u);
  for (std::size_t i = 0; i < grouped.Hits.size(); ++i) {
    const auto& [document, hit] = grouped.Hits[i];
    EXPECT_EQ(THitKey(document, hit.Path, hit.Score), expected[i]) << i;
  }
  fs::remove_all(later);

  WriteDocument(folder_ / "f-copy.tlt", "en", "river", 40);
  library_ = std::make_unique<TLibrary>(std::vector<fs::path>{folder_});
  ExpectSlicesOfTheWholeRanking("river");
}

// A search opens only the indexes whose summary bounds the query at or above the hits ranked
// before them, a server started again reading the summaries from the cache folder, and gives
// the hits of ranking every index: whatever the operators, and for documents without the words
// or with them on every page (of little weight).
TEST_F(MergedSearchTest, IndexesThatCannotReachTheHitsShownStayClosedAndTheHitsAreTheSame) {
  WriteDocument(folder_ / "e-deltas.tlt", "en", "delta", 12);
  WriteDocument(folder_ / "f-everywhere.tlt", "en", "river delta", 40);
  const std::vector<std::string> queries = {"river",           "delta",         "river delta",
                                            "\"river delta\"", "river -delta",  "delta NOT river",
                                            "zebra OR delta",  "rivers filler", "riv*",
                                            "river river",     "Page 7"};
  std::vector<std::vector<THitKey>> expected;
  {
    const TLibrary whole(std::vector<fs::path>{folder_});
    for (const auto& text : queries) {
      expected.push_back(Expected(whole, text));
      SearchLibrary(*whole.Documents(), {text, {}}, 0, 10, {});
    }
  }
  library_ = std::make_unique<TLibrary>(std::vector<fs::path>{folder_});
  const auto first = SearchLibrary(*library_->Documents(), {"river", {}}, 0, 10, {});
  EXPECT_EQ(first.Hits.size(), 10u);
  for (const auto& document : *library_->Documents()) {
    // Without the word, or with it on every page: below the ten best.
    EXPECT_EQ(document->IsOpen(),
              document->Name() != "e-deltas" && document->Name() != "f-everywhere")
        << document->Name();
  }
  EXPECT_FALSE(first.TotalExact);
  for (std::size_t q = 0; q < queries.size(); ++q) {
    for (const auto& [start, limit, heldAtOnce] :
         std::vector<std::tuple<std::size_t, std::size_t, std::size_t>>{
             {0, 10, SIZE_MAX}, {0, 1, 1}, {4, 6, 2}, {0, 45, 3}}) {
      const auto results =
          SearchLibrary(*library_->Documents(), {queries[q], {}}, start, limit, {}, heldAtOnce);
      EXPECT_TRUE(results.Failed.empty());
      std::vector<THitKey> shown;
      for (const auto& [document, hit] : results.Hits) {
        shown.push_back({document, hit.Path, hit.Score});
      }
      const auto& all = expected[q];
      const std::vector<THitKey> slice(
          all.begin() + static_cast<std::ptrdiff_t>(std::min(start, all.size())),
          all.begin() + static_cast<std::ptrdiff_t>(std::min(start + limit, all.size())));
      EXPECT_EQ(shown, slice) << queries[q] << " from " << start << ", " << limit << " by "
                              << heldAtOnce;
    }
  }

  // A document written over is summarized anew: its old summary, without the word, would skip it.
  WriteDocument(folder_ / "e-deltas.tlt", "en", "river", 4);
  const auto hitsOf = [&](const TLibraryResults& results) {
    std::vector<THitKey> shown;
    for (const auto& [document, hit] : results.Hits) {
      shown.push_back({document, hit.Path, hit.Score});
    }
    return shown;
  };
  library_ = std::make_unique<TLibrary>(std::vector<fs::path>{folder_});
  const auto changed = hitsOf(SearchLibrary(*library_->Documents(), {"river", {}}, 0, 10, {}));
  const auto all = Expected("river");
  EXPECT_EQ(changed, std::vector<THitKey>(all.begin(), all.begin() + 10));
  EXPECT_TRUE(std::any_of(changed.begin(), changed.end(),
                          [](const THitKey& hit) { return std::get<0>(hit) == "e-deltas"; }));
  // Summaries cut short in the cache folder are no summaries: their documents are searched.
  FinishStoringSummaries();
  for (const auto& stored : fs::directory_iterator(folder_ / "cache" / "tomelet" / "terms")) {
    fs::resize_file(stored.path(), fs::file_size(stored.path()) / 2);
  }
  library_ = std::make_unique<TLibrary>(std::vector<fs::path>{folder_});
  EXPECT_EQ(hitsOf(SearchLibrary(*library_->Documents(), {"river", {}}, 0, 10, {})), changed);
  for (const auto& document : *library_->Documents()) {
    EXPECT_TRUE(document->IsOpen()) << document->Name();
  }
}

}  // namespace
}  // namespace tomelet::library
