#include <gtest/gtest.h>

#include "search/IndexFormat.h"
#include "tests/search/SearchFixtures.h"

namespace tomelet::search::testing {
namespace {

using TDocuments = std::vector<Xapian::Document>;

// An index of the given format version holding documents, on pages named by their numbers.
std::vector<std::byte> OldIndex(const std::filesystem::path& scratch, std::uint32_t version,
                                const TDocuments& documents, const std::vector<std::string>& pages,
                                const std::vector<std::pair<std::string, std::string>>& metadata) {
  {
    Xapian::WritableDatabase database((scratch / "db").string(),
                                      Xapian::DB_CREATE_OR_OVERWRITE | Xapian::DB_BACKEND_GLASS);
    for (const auto& document : documents) {
      database.add_document(document);
    }
    database.set_metadata(std::string(format::kLanguageKey), "en");
    std::vector<format::TPageEntry> entries;
    for (const auto& page : pages) {
      entries.push_back({page, page, false});
    }
    database.set_metadata(std::string(format::kPagesKey), format::EncodePages(entries));
    for (const auto& [key, value] : metadata) {
      database.set_metadata(key, value);
    }
    database.commit();
    database.compact((scratch / "single").string(), Xapian::DBCOMPACT_SINGLE_FILE);
  }
  std::ifstream in(scratch / "single", std::ios::binary);
  const std::string database{std::istreambuf_iterator<char>(in), {}};
  auto bytes = format::EncodeHeader(database.size());
  bytes[16] = static_cast<std::byte>(version);
  for (const char c : database) {
    bytes.push_back(static_cast<std::byte>(c));
  }
  return bytes;
}

// A section of the first version's layout: its record as its document's data.
Xapian::Document Section(std::uint64_t page, std::string_view anchor, std::string_view text,
                         const std::vector<std::string>& terms) {
  Xapian::Document document;
  for (const auto& term : terms) {
    document.add_term(term);
  }
  document.set_data(format::EncodeSection({page, std::string(anchor), std::string(text)}));
  document.add_value(format::kPageSlot, std::string(1, static_cast<char>(page)));
  return document;
}

std::string Stem(std::string_view word) {
  return "Z" + Xapian::Stem("en")(std::string(word));
}

// Written the way the first version's builder wrote it: each section's record as its
// document's data.
std::vector<std::byte> FirstVersionIndex(const std::filesystem::path& scratch) {
  TDocuments documents;
  for (const char* word : {"widgets", "gadgets"}) {
    // That builder kept DocBook's link bars in the text.
    documents.push_back(Section(0, word,
                                std::string("Tools Prev Up Index Home Next All about ") + word,
                                {Stem(word), std::string(format::kIdPrefix) + word}));
  }
  return OldIndex(scratch, 1, documents, {"tools.html"}, {});
}

TEST(FirstVersionIndexTest,
     DocumentsPackedBeforeTheSectionBlocksAndTheTableOfNamesAreStillSearched) {
  const TIndexFile file(FirstVersionIndex(TScratchFolder().Path()));
  const auto results = file.Open()->Search("gadget", 0, 10);
  ASSERT_EQ(results.Hits.size(), 1u);
  EXPECT_EQ(Paths(results)[0], "tools.html#gadgets");
  EXPECT_EQ(results.Hits[0].Snippet, "Tools All about <b>gadgets</b>");
  // Before the table of defined names, their ids were terms of the defining section.
  const auto defined = file.Open()->Search("widgets()", 0, 10);
  ASSERT_EQ(defined.Hits.size(), 1u);
  EXPECT_EQ(Paths(defined)[0], "tools.html#widgets");
}

// Before version 5 a section with accents held every word a second time folded, and the stems
// whose two forms differ somewhere were listed apart (here in the first version's layout).
TEST(FoldedOnceMoreIndexTest, EveryWordFoldedAgainIsFoundTypedWithAndWithoutAccents) {
  const std::string folded(format::kStemmedFoldedPrefix);
  const TDocuments documents = {
      Section(0, "cv", "A short r\u00e9sum\u00e9",
              {Stem("short"), Stem("r\u00e9sum\u00e9"), folded + "short", folded + "resum"}),
      Section(1, "jobs", "Resume work", {Stem("resume"), Stem("work")}),
  };
  const TIndexFile file(
      OldIndex(TScratchFolder().Path(), 1, documents, {"cv.html", "jobs.html"},
               {{std::string(format::kFoldedApartKey),
                 format::EncodeStems({"resum", Xapian::Stem("en")("r\u00e9sum\u00e9")})}}));
  const auto index = file.Open();
  EXPECT_EQ(Paths(index->Search("resume", 0, 5)),
            (std::vector<std::string>{"jobs.html#jobs", "cv.html#cv"}));
  EXPECT_EQ(Paths(index->Search("r\u00e9sum\u00e9", 0, 5)),
            (std::vector<std::string>{"cv.html#cv", "jobs.html#jobs"}));
  EXPECT_EQ(Paths(index->Search("short resume", 0, 5)), std::vector<std::string>{"cv.html#cv"});
  const auto unaccented = index->Search("short", 0, 5);
  EXPECT_EQ(Paths(unaccented), std::vector<std::string>{"cv.html#cv"});
  EXPECT_TRUE(unaccented.TotalExact);
}

}  // namespace
}  // namespace tomelet::search::testing
