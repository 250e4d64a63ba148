// A library keeps only its most recently used documents open: the others are closed and opened
// again when asked for, with the same answers, and whatever a reader still holds of a closed
// document stays readable and is handed out again rather than opened twice.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/Document.h"
#include "document/DocumentEntries.h"
#include "library/Library.h"
#include "library/LibrarySearch.h"
#include "search/DocumentIndex.h"
#include "search/SearchIndex.h"

namespace tomelet::library {
namespace {

namespace fs = std::filesystem;

std::string Page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html><html lang=\"en\"><head><title>" + title + "</title></head><body><h1>" +
         title + "</h1><p>" + body + "</p></body></html>";
}

// Pages mentioning "river" as often as their number, with the index carried inside.
void WriteDocument(const fs::path& path, int pages) {
  search::TIndexBuilder builder({"en", static_cast<std::size_t>(pages)});
  TZLBArchiveWriter writer;
  for (int i = 0; i < pages; ++i) {
    std::string body = path.stem().string() + " ";
    for (int j = 0; j <= i; ++j) {
      body += "river ";
    }
    const std::string name = "page" + std::to_string(i) + ".html";
    builder.AddPage(name, Page("Page " + std::to_string(i), body));
    writer.AddEntry(name, Page("Page " + std::to_string(i), body));
  }
  writer.AddEntry(kIndexEntry, builder.Finish(), fcNone);
  writer.WriteFile(path.string());
}

std::vector<std::string> Hits(const TLibraryResults& results) {
  std::vector<std::string> hits;
  for (const auto& [document, hit] : results.Hits) {
    hits.push_back(document + "/" + hit.Path + " " + hit.Snippet);
  }
  return hits;
}

class OpenDocumentsTest : public ::testing::Test {
 protected:
  OpenDocumentsTest() {
    fs::create_directories(folder_);
    ::setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1);
    for (int i = 0; i < 5; ++i) {
      WriteDocument(folder_ / ("doc" + std::to_string(i) + ".tlt"), 3 + i);
    }
    library_ = std::make_unique<TLibrary>(std::vector<fs::path>{folder_},
                                          TLibraryOptions{.OpenLimit = kLimit});
  }
  ~OpenDocumentsTest() override {
    library_.reset();
    fs::remove_all(folder_);
  }

  std::size_t OpenCount() const {
    const auto documents = library_->Documents();
    return static_cast<std::size_t>(std::count_if(documents->begin(), documents->end(),
                                                  [](const auto& d) { return d->IsOpen(); }));
  }

  // Those whose index was still being opened are closed once it is open.
  void WaitForTheLimit() const {
    for (int tries = 0; tries < 300 && OpenCount() > kLimit; ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(OpenCount(), kLimit);
  }

  static constexpr std::size_t kLimit = 2;
  fs::path folder_ =
      fs::temp_directory_path() / ("tomelet-open-documents-" + std::to_string(::getpid()));
  std::unique_ptr<TLibrary> library_;
};

TEST_F(OpenDocumentsTest, ClosedDocumentsOpenAgainWithTheSameAnswers) {
  const auto documents = library_->Documents();
  // A group of documents at a time, as many as stay open.
  const auto first = SearchLibrary(*documents, {"river", {}}, 0, 20, {}, library_->OpenLimit());
  ASSERT_TRUE(first.Indexing.empty());
  ASSERT_TRUE(first.Failed.empty());
  ASSERT_EQ(first.Hits.size(), 20u);
  WaitForTheLimit();

  // Each document in turn, so that every one is closed and opened again several times.
  for (int round = 0; round < 3; ++round) {
    for (const auto& document : *documents) {
      const auto index = document->Index()->OpenedState().Index;
      ASSERT_NE(index, nullptr) << document->Name();
      EXPECT_EQ(index->Search("river", 0, 10).Hits.front().Path,
                "page" + std::to_string(index->PageCount() - 1) + ".html");
      EXPECT_EQ(document->StartPagePath(), "");
      EXPECT_LE(OpenCount(), kLimit);
    }
  }
  // All at once: every index is held by the search while it opens, and the documents beyond
  // the limit are closed once their index has settled.
  const auto expected = Hits(first);
  EXPECT_EQ(Hits(SearchLibrary(*documents, {"river", {}}, 0, 20, {})), expected);
  WaitForTheLimit();
  EXPECT_EQ(Hits(SearchLibrary(*documents, {"river", {}}, 5, 10, {}, kLimit)),
            std::vector<std::string>(expected.begin() + 5, expected.begin() + 15));
}

TEST_F(OpenDocumentsTest, WhatAReaderHoldsOfAClosedDocumentStaysReadableAndIsHandedOutAgain) {
  const auto documents = library_->Documents();
  const auto& held = documents->front();
  const auto archive = held->Archive();
  const auto index = held->Index();
  const auto pages = archive->Contents(archive->IndexOf("page0.html"));
  for (std::size_t i = 1; i < documents->size(); ++i) {
    (*documents)[i]->Archive();
  }
  EXPECT_FALSE(held->IsOpen());
  EXPECT_EQ(archive->Contents(archive->IndexOf("page0.html")), pages);
  EXPECT_EQ(index->OpenedState().Index->PageCount(), 3u);

  // Opened again, it is the very archive and index still held, not a second copy.
  EXPECT_EQ(held->Archive(), archive);
  EXPECT_EQ(held->Index(), index);
  EXPECT_TRUE(held->IsOpen());
  EXPECT_LE(OpenCount(), kLimit);
}

}  // namespace
}  // namespace tomelet::library
