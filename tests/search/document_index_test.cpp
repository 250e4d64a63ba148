#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "document/Document.h"
#include "document/DocumentEntries.h"
#include "search/DocumentIndex.h"
#include "tests/search/SearchFixtures.h"
#include "tests/support/ArchiveBytes.h"
#include "tests/support/TestDocument.h"

namespace tomelet::search::testing {
namespace {

using tomelet::testing::TScratchFolder;
using tomelet::testing::TTestDocument;

class DocumentIndexTest : public ::testing::Test {
 protected:
  DocumentIndexTest() { ::setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1); }

  // The manual's pages; index says how its "-index-" entry is written, if at all.
  std::shared_ptr<const TDocument> Write(const std::string& name,
                                         const std::function<void(TTestDocument&)>& index,
                                         const std::string& extra = {}) {
    TTestDocument document;
    for (const auto& [path, html] : ManualPages()) {
      document.Entry(path, html);
    }
    if (!extra.empty()) {
      document.Entry("extra.html", extra);
    }
    if (index) {
      index(document);
    }
    return OpenDocument(document.WriteTo(folder_ / name));
  }

  static void Embed(TTestDocument& document) {
    document.Stored(kIndexEntry, BuildIndex(ManualPages()));
  }

  TScratchFolder folder_;
};

TEST_F(DocumentIndexTest, TheEmbeddedIndexIsOpenedInPlace) {
  const auto archive = Write("doc.tlt", Embed);
  const auto index = OpenEmbeddedIndex(archive);
  ASSERT_NE(index, nullptr);
  EXPECT_EQ(index->Search("re.sub", 0, 1).Hits.at(0).Anchor, "re.sub");
  EXPECT_EQ(OpenEmbeddedIndex(Write("plain.tlt", nullptr)), nullptr);
  // Snippets come from the document's own pages, which the index keeps open for them.
  const auto kept = OpenEmbeddedIndex(Write("kept.tlt", Embed));
  EXPECT_EQ(kept->Search("lines", 0, 1).Hits.at(0).Snippet,
            "Reading files Open a file and read its <b>lines</b> one by one.");
  EXPECT_FALSE(std::filesystem::exists(folder_ / "cache"));
}

TEST_F(DocumentIndexTest, ADeflatedOrAlteredIndexEntryIsRefusedAndAFreshOneIsBuilt) {
  const auto deflated = Write("deflated.tlt", [](TTestDocument& document) {
    document.Entry(kIndexEntry, BuildIndex(ManualPages()), fcMaximum);
  });
  EXPECT_THROW(OpenEmbeddedIndex(deflated), ESearchIndexError);

  const auto altered = Write("altered.tlt", [](TTestDocument& document) {
    document.WrongCrc(kIndexEntry, tomelet::testing::Text(BuildIndex(ManualPages())));
  });
  try {
    OpenEmbeddedIndex(altered);
    FAIL() << "an index failing its CRC was opened";
  } catch (const ESearchIndexError& e) {
    EXPECT_EQ(e.what(), kDamagedIndexMessage);
  }
  const auto opened = OpenDocumentIndex(altered, "index.html", {});
  EXPECT_EQ(opened.Refusal, kDamagedIndexMessage);
  EXPECT_EQ(opened.Index->Search("writing", 0, 1).Hits.at(0).Anchor, "writing");
}

TEST_F(DocumentIndexTest, ADocumentWithoutAnIndexIsIndexedOnceIntoTheCacheKeyedByItsContents) {
  const auto archive = Write("doc.tlt", nullptr);
  std::size_t calls = 0;
  std::size_t lastTotal = 0;
  const auto built =
      OpenDocumentIndex(archive, "index.html", [&](std::size_t done, std::size_t total) {
        ++calls;
        lastTotal = total;
        EXPECT_LE(done, total);
      });
  EXPECT_EQ(calls, ManualPages().size());
  EXPECT_EQ(lastTotal, ManualPages().size());
  EXPECT_TRUE(built.Refusal.empty());
  const auto cached = CachedIndexPath(*archive, "index.html");
  EXPECT_EQ(cached.parent_path(), folder_ / "cache" / "tomelet");
  ASSERT_TRUE(std::filesystem::exists(cached));

  calls = 0;
  const auto again =
      OpenDocumentIndex(archive, "index.html", [&](std::size_t, std::size_t) { ++calls; });
  EXPECT_EQ(calls, 0u);
  EXPECT_EQ(Paths(again.Index->Search("files", 0, 5)), Paths(built.Index->Search("files", 0, 5)));

  const auto changed = Write("doc.tlt", nullptr, Page("Extra", "<p>Brand new words</p>"));
  EXPECT_NE(CachedIndexPath(*changed, "index.html"), cached);
  EXPECT_EQ(OpenDocumentIndex(changed, "index.html", {}).Index->Search("brand", 0, 5).Hits.size(),
            1u);
}

// Each change of a document leaves the index of its old contents in the cache; the next build
// clears what has not been used for a month, and using an index keeps it.
TEST_F(DocumentIndexTest, UsingACachedIndexKeepsItAndABuildClearsThoseUnusedForAMonth) {
  namespace fs = std::filesystem;
  const auto archive = Write("doc.tlt", nullptr);
  ASSERT_NE(OpenDocumentIndex(archive, "index.html", {}).Index, nullptr);
  const auto cached = CachedIndexPath(*archive, "index.html");
  const auto stale = cached.parent_path() / "0123456789abcdef.index";
  const auto monthAgo = fs::file_time_type::clock::now() - std::chrono::hours(24 * 31);
  fs::copy_file(cached, stale);
  fs::last_write_time(stale, monthAgo);
  fs::last_write_time(cached, monthAgo);

  ASSERT_NE(OpenDocumentIndex(archive, "index.html", {}).Index, nullptr);
  EXPECT_GT(fs::last_write_time(cached), monthAgo + std::chrono::hours(24 * 30));
  EXPECT_TRUE(fs::exists(stale)) << "opening an index prunes nothing";

  const auto changed = Write("changed.tlt", nullptr, Page("Extra", "<p>Brand new words</p>"));
  ASSERT_NE(OpenDocumentIndex(changed, "index.html", {}).Index, nullptr);
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(cached));
  EXPECT_TRUE(fs::exists(CachedIndexPath(*changed, "index.html")));
}

TEST_F(DocumentIndexTest, TheBackgroundIndexReportsProgressUntilItIsReady) {
  TBackgroundIndex background(Write("doc.tlt", nullptr), "index.html");
  auto state = background.State();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!state.Index && state.Error.empty() && std::chrono::steady_clock::now() < deadline) {
    EXPECT_LT(state.Percent, 100);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    state = background.State();
  }
  ASSERT_NE(state.Index, nullptr) << state.Error;
  EXPECT_EQ(state.Percent, 100);
  EXPECT_FALSE(state.Index->Search("widgets", 0, 5).Hits.empty());

  TBackgroundIndex embedded(Write("embedded.tlt", Embed), "index.html");
  EXPECT_NE(embedded.OpenedState().Index, nullptr);  // an embedded index needs no build
}

TEST_F(DocumentIndexTest, ABuildUnderWayStopsWhenTheBackgroundIndexGoesAndCachesNothing) {
  std::string many;
  for (int i = 0; i < 20; ++i) {
    many += "<p>Paragraph " + std::to_string(i) + " about widgets and gadgets.</p>";
  }
  TTestDocument large;
  for (int i = 0; i < 3000; ++i) {
    large.Entry("p" + std::to_string(i) + ".html", Page("Page", many));
  }
  {
    TBackgroundIndex background(OpenDocument(large.WriteTo(folder_ / "large.tlt")), "p0.html");
    EXPECT_EQ(background.State().Index, nullptr);
  }
  EXPECT_FALSE(std::filesystem::exists(folder_ / "cache" / "tomelet") &&
               !std::filesystem::is_empty(folder_ / "cache" / "tomelet"));
}

}  // namespace
}  // namespace tomelet::search::testing
