#include <gtest/gtest.h>

#include "search/IndexFormat.h"
#include "tests/search/SearchFixtures.h"

namespace tomelet::search::testing {
namespace {

// Written the way the first version's builder wrote it: each section's record as its
// document's data.
std::vector<std::byte> FirstVersionIndex(const std::filesystem::path& scratch) {
  {
    Xapian::WritableDatabase database((scratch / "db").string(),
                                      Xapian::DB_CREATE_OR_OVERWRITE | Xapian::DB_BACKEND_GLASS);
    for (const char* word : {"widgets", "gadgets"}) {
      Xapian::Document document;
      document.add_term("Z" + Xapian::Stem("en")(word));
      document.add_term(std::string(format::kIdPrefix) + word);
      // That builder kept DocBook's link bars in the text.
      document.set_data(format::EncodeSection(
          {0, word, std::string("Tools Prev Up Index Home Next All about ") + word}));
      document.add_value(format::kPageSlot, std::string(1, '\0'));
      database.add_document(document);
    }
    database.set_metadata(std::string(format::kLanguageKey), "en");
    database.set_metadata(std::string(format::kPagesKey),
                          format::EncodePages({{"tools.html", "Tools", false}}));
    database.commit();
    database.compact((scratch / "single").string(), Xapian::DBCOMPACT_SINGLE_FILE);
  }
  std::ifstream in(scratch / "single", std::ios::binary);
  const std::string database{std::istreambuf_iterator<char>(in), {}};
  auto bytes = format::EncodeHeader(database.size());
  bytes[16] = std::byte{1};
  for (const char c : database) {
    bytes.push_back(static_cast<std::byte>(c));
  }
  return bytes;
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

}  // namespace
}  // namespace tomelet::search::testing
