// The first search across a library checks the structure of every index it opens, many at once
// and several in one child: a document whose index is damaged is still refused and indexed
// anew, and every other document is still searched.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/DocumentEntries.h"
#include "library/Library.h"
#include "library/LibrarySearch.h"
#include "library/Workers.h"
#include "search/DocumentIndex.h"
#include "search/SearchIndex.h"

namespace tomelet::library {
namespace {

namespace fs = std::filesystem;

// A document of three pages mentioning word; with damaged, the first bytes of its index's
// database are zeroes, which the archive's own check of the entry cannot see.
void WriteDocument(const fs::path& path, const std::string& word, bool damaged) {
  search::TIndexBuilder builder({"en", 3});
  TZLBArchiveWriter writer;
  for (int i = 0; i < 3; ++i) {
    const std::string name = "page" + std::to_string(i) + ".html";
    const std::string html = "<!DOCTYPE html><html lang=\"en\"><head><title>Page " +
                             std::to_string(i) + "</title></head><body><p>" + word +
                             " and filler text " + std::to_string(i) + "</p></body></html>";
    builder.AddPage(name, html);
    writer.AddEntry(name, html);
  }
  auto index = builder.Finish();
  if (damaged) {
    std::fill(index.begin() + search::kIndexHeaderSize,
              index.begin() + search::kIndexHeaderSize + 64, std::byte{0});
  }
  writer.AddEntry(kIndexEntry, index, fcNone);
  writer.WriteFile(path.string());
}

class FirstSearchTest : public ::testing::Test {
 protected:
  FirstSearchTest() {
    fs::create_directories(folder_);
    ::setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1);
  }
  ~FirstSearchTest() override { fs::remove_all(folder_); }

  const fs::path folder_ =
      fs::temp_directory_path() / ("first-search-" + std::to_string(::getpid()));
};

TEST_F(FirstSearchTest, ADamagedIndexAmongManyIsRefusedAndEveryOtherSearched) {
  constexpr int kDocuments = 40;
  for (int i = 0; i < kDocuments; ++i) {
    const std::string name = "doc" + std::string(i < 10 ? "0" : "") + std::to_string(i);
    WriteDocument(folder_ / (name + ".tlt"), "river", i == 17 || i == 31);
  }
  const TLibrary library(std::vector<fs::path>{folder_});
  TWorkers workers(2);
  const auto results =
      SearchLibrary(*library.Documents(), {"river", {}}, 0, 200, {}, SIZE_MAX, &workers);
  // Refused, their indexes are built again from their pages meanwhile; three pages are built so
  // soon that the search may already find them built anew and search them.
  for (const auto& name : results.Indexing) {
    EXPECT_TRUE(name == "doc17" || name == "doc31") << name;
  }
  EXPECT_TRUE(results.Failed.empty());
  EXPECT_EQ(results.Hits.size(), (kDocuments - results.Indexing.size()) * 3);
  for (const auto& document : *library.Documents()) {
    const bool damaged = document->Name() == "doc17" || document->Name() == "doc31";
    EXPECT_EQ(document->Index()->State().Refusal.empty(), !damaged) << document->Name();
  }
  auto later = results;
  for (int look = 0; look < 200 && !later.Indexing.empty(); ++look) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    later = SearchLibrary(*library.Documents(), {"river", {}}, 0, 200, {}, SIZE_MAX, &workers);
  }
  EXPECT_TRUE(later.Indexing.empty());
  EXPECT_EQ(later.Hits.size(), std::size_t{kDocuments * 3});
}

}  // namespace
}  // namespace tomelet::library
