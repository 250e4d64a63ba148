#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

struct LookupCase {
  std::string name;
  bool savePaths;
  int index;
};

class EntryLookup : public ArchiveTest, public ::testing::WithParamInterface<LookupCase> {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    TTestDocument document;
    for (const char* path :
         {"images\\help.jpg", "b.htm", "IMAGES\\HELP.JPG", "x\\a\\b.htm", "caf\xC3\x89.htm"}) {
      document.Entry(path, path);
    }
    ASSERT_TRUE(arc_.OpenArchive(WriteArchive(document)));
  }
};

TEST_P(EntryLookup, IndexOfEntryFindsTheFirstFoldedMatch) {
  arc_.SavePaths = GetParam().savePaths;
  EXPECT_EQ(arc_.IndexOfEntry(GetParam().name), GetParam().index);
}

INSTANTIATE_TEST_SUITE_P(
    Names, EntryLookup,
    ::testing::Values(LookupCase{"IMAGES\\Help.JPG", false, 0},
                      LookupCase{"images/help.jpg", true, -1},
                      LookupCase{"images\\help.jp", false, -1},
                      LookupCase{"C:images\\help.jpg", true, 0},
                      LookupCase{"C:images\\help.jpg", false, -1},
                      LookupCase{"x\\a:b.htm", true, 1}, LookupCase{"x\\a:b.htm", false, -1},
                      LookupCase{"X\\A\\B.HTM", false, 3}, LookupCase{"CAF\xC3\x89.htm", false, 4},
                      LookupCase{"caf\xC3\xA9.htm", false, -1}, LookupCase{"", false, -1}));

TEST_F(EntryLookup, ExtractToStreamTakesTheNameAsItIsAndReportsTheStoredPath) {
  arc_.SavePaths = true;
  std::vector<std::string> extracted;
  arc_.OnStreamExtracted = [&](const std::string& name) { extracted.push_back(name); };
  EXPECT_EQ(Extract("Images\\Help.jpg"), "images\\help.jpg");
  EXPECT_EQ(MessageOf([&] { Extract("C:images\\help.jpg"); }),
            "C:images\\help.jpg not found in archive");
  EXPECT_EQ(extracted, std::vector<std::string>{"images\\help.jpg"});
  std::vector<std::string> list{"stale"};
  arc_.ListFolder("Images\\", list);
  EXPECT_EQ(list, (std::vector<std::string>{"help.jpg", "HELP.JPG"}));
}

TEST_F(EntryLookup, ManyEntriesStayDistinct) {
  TTestDocument many;
  for (int i = 0; i < 20000; ++i) {
    many.Stored("d" + std::to_string(i % 7) + "\\f" + std::to_string(i), std::to_string(i));
  }
  ASSERT_TRUE(arc_.OpenArchive(WriteArchive(many, "many.tlt")));
  for (int i = 0; i < 20000; i += 997) {
    EXPECT_EQ(arc_.IndexOfEntry("D" + std::to_string(i % 7) + "\\F" + std::to_string(i)), i);
  }
  EXPECT_EQ(arc_.IndexOfEntry("d1\\f0"), -1);
  EXPECT_EQ(Extract("d0\\f19999"), "19999");
}

}  // namespace
}  // namespace tomelet::test
