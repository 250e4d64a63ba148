// verify on damaged documents: every entry is read past the first fault and past a failing
// archive CRC, each damaged one is named, and a search index must belong to its document.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "document/DocumentEntries.h"
#include "search/SearchIndex.h"
#include "tests/support/TestDocument.h"
#include "tool_process.h"

namespace tomelet::testing {
namespace {

using nlohmann::json;

json Listing(const std::filesystem::path& document) {
  return json::parse(RunTool({"list", "--json", document.string()}).out);
}

// Damages the middle of an entry's stored bytes, which also breaks the archive's CRC.
void DamageEntry(const std::filesystem::path& document, int index) {
  const auto entry = Listing(document)["entries"][index];
  const auto stored = entry["stored_size"].get<std::int64_t>();
  FlipBytes(document, entry["offset"].get<std::int64_t>() + stored / 2 - 1, 2);
}

TEST(Verify, NamesEveryDamagedEntryEvenWhenTheArchiveCrcFails) {
  TScratchFolder folder;
  const auto document = folder / "doc.tlt";
  SampleDocument().WriteTo(document);
  DamageEntry(document, 1);  // images\logo.png, stored
  DamageEntry(document, 2);  // guide\intro.htm, deflated

  const auto lines = RunTool({"verify", document.string()});
  EXPECT_EQ(lines.exitCode, 1);
  EXPECT_TRUE(lines.out.empty()) << lines.out;
  EXPECT_NE(lines.err.find("Damaged entry: images/logo.png\nDamaged entry: guide/intro.htm\n"
                           "3 of 5 entries are sound\n"),
            std::string::npos)
      << lines.err;
  EXPECT_EQ(lines.LastErrorLine(), "The archive appears to be corrupted");

  const auto object = RunTool({"verify", "--json", document.string()});
  EXPECT_EQ(object.exitCode, 1);
  EXPECT_EQ(object.LastErrorLine(), "The archive appears to be corrupted");
  const auto report = json::parse(object.out);
  EXPECT_EQ(report["version"], 2);
  EXPECT_EQ(report["sound"], false);
  EXPECT_EQ(report["entry_count"], 5);
  EXPECT_EQ(report["sound_entries"], 3);
  EXPECT_EQ(report["archive_crc_matches"], false);
  EXPECT_NE(report["archive_crc"], report["computed_archive_crc"]);
  const auto& damaged = report["damaged_entries"];
  ASSERT_EQ(damaged.size(), 2u) << object.out;
  EXPECT_EQ(damaged[0]["index"], 1);
  EXPECT_EQ(damaged[0]["path"], "images/logo.png");
  EXPECT_EQ(damaged[0]["stored_path"], "images\\logo.png");
  EXPECT_EQ(damaged[0]["message"], "logo.png failed CRC check");
  EXPECT_EQ(damaged[1]["path"], "guide/intro.htm");
  EXPECT_EQ(report["message"], "The archive appears to be corrupted");
}

// An entry written with a wrong CRC leaves the archive's CRC right: the entry's own message ends.
TEST(Verify, SoundArchiveCrcEndsWithTheFirstEntrysMessage) {
  TScratchFolder folder;
  TTestDocument()
      .WrongCrc("one.htm", "hello")
      .WrongCrc("two.htm", "hello")
      .Entry("fine.htm", "fine")
      .WriteTo(folder / "doc.tlt");
  const auto result = RunTool({"verify", (folder / "doc.tlt").string()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("Damaged entry: one.htm\nDamaged entry: two.htm\n1 of 3 entries"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(result.err.find("Archive CRC"), std::string::npos) << result.err;
  EXPECT_EQ(result.LastErrorLine(), "one.htm failed CRC check");
}

TEST(Verify, SoundDocumentGivesOkLinesAndAVersionedObject) {
  TScratchFolder folder;
  const auto document = folder / "doc.tlt";
  SampleDocument().WriteTo(document);
  const auto lines = RunTool({"verify", document.string()});
  EXPECT_EQ(lines.exitCode, 0) << lines.err;
  EXPECT_TRUE(lines.out.starts_with("OK: 5 entries, ")) << lines.out;
  const auto object = RunTool({"verify", "--json", document.string()});
  EXPECT_EQ(object.exitCode, 0) << object.err;
  const auto report = json::parse(object.out);
  EXPECT_EQ(report["version"], 2);
  EXPECT_EQ(report["sound"], true);
  EXPECT_EQ(report["sound_entries"], 5);
  EXPECT_EQ(report["archive_crc"], report["computed_archive_crc"]);
  EXPECT_TRUE(report["damaged_entries"].empty());
  EXPECT_TRUE(report["search_index"].is_null());
  EXPECT_TRUE(report["message"].is_null());
}

std::string Page(int number) {
  return "<html><head><title>Page " + std::to_string(number) + "</title></head><body>word " +
         std::to_string(number) + "</body></html>";
}

// A document of two pages carrying an index of the first indexedPages pages of a larger one.
std::filesystem::path DocumentWithIndex(const std::filesystem::path& document, int indexedPages) {
  search::TIndexBuilder builder({});
  for (int i = 0; i < indexedPages; ++i) {
    builder.AddPage("pages\\p" + std::to_string(i) + ".htm", Page(i));
  }
  return TTestDocument()
      .Entry("pages\\p0.htm", Page(0))
      .Entry("pages\\p1.htm", Page(1))
      .Stored(kIndexEntry, builder.Finish())
      .WriteTo(document);
}

TEST(Verify, SearchIndexMustBelongToTheDocument) {
  TScratchFolder folder;
  const auto own = RunTool({"verify", DocumentWithIndex(folder / "own.tlt", 2).string()});
  EXPECT_EQ(own.exitCode, 0) << own.err;
  EXPECT_NE(own.out.find("OK: search index of 2 pages\n"), std::string::npos) << own.out;

  const auto foreign = DocumentWithIndex(folder / "foreign.tlt", 30);
  const auto lines = RunTool({"verify", foreign.string()});
  EXPECT_EQ(lines.exitCode, 1);
  EXPECT_EQ(lines.out.find("search index"), std::string::npos) << lines.out;
  EXPECT_EQ(lines.LastErrorLine(),
            "The search index does not belong to this document: 28 of its 30 pages are not in "
            "it, such as pages/p2.htm");
  const auto object = RunTool({"verify", "--json", foreign.string()});
  EXPECT_EQ(object.exitCode, 1);
  const auto index = json::parse(object.out)["search_index"];
  EXPECT_EQ(index["pages"], 30);
  EXPECT_EQ(index["missing_pages"], 28);
  EXPECT_EQ(index["first_missing_page"], "pages/p2.htm");
  EXPECT_EQ(index["sound"], false);
}

// The index reads its snippets from the pages: a page cut short since, by a change made without
// indexing again, would give its hits snippets from wherever the range now falls.
TEST(Verify, PagesShorterThanTheIndexReadsThemFail) {
  TScratchFolder folder;
  search::TIndexBuilder builder({});
  builder.AddPage("pages\\p0.htm", Page(0));
  builder.AddPage("pages\\p1.htm", Page(1));
  const auto changed = TTestDocument()
                           .Entry("pages\\p0.htm", Page(0))
                           .Entry("pages\\p1.htm", "<p>1</p>")
                           .Stored(kIndexEntry, builder.Finish())
                           .WriteTo(folder / "changed.tlt");
  const auto lines = RunTool({"verify", changed.string()});
  EXPECT_EQ(lines.exitCode, 1);
  EXPECT_EQ(lines.LastErrorLine(),
            "The search index does not belong to this document: 1 of its 2 pages are shorter "
            "than when it was built, such as pages/p1.htm");
  const auto index =
      json::parse(RunTool({"verify", "--json", changed.string()}).out)["search_index"];
  EXPECT_EQ(index["missing_pages"], 0);
  EXPECT_EQ(index["short_pages"], 1);
  EXPECT_EQ(index["first_short_page"], "pages/p1.htm");
  EXPECT_EQ(index["sound"], false);
}

}  // namespace
}  // namespace tomelet::testing
