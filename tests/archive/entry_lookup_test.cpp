#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

class EntryLookup : public ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    TZLBArchiveWriter writer;
    writer.AddEntry("images\\help.jpg", "jpeg");
    writer.AddEntry("b.htm", "top b");
    writer.AddEntry("IMAGES\\HELP.JPG", "second copy");
    writer.AddEntry("x\\a\\b.htm", "nested b");
    writer.AddEntry("caf\xC3\x89.htm", "accented");
    ASSERT_TRUE(arc_.OpenArchive(WriteArchive(writer)));
  }
  std::string Contents(const std::string& name) {
    TMemoryStream dest;
    arc_.ExtractToStream(dest, name);
    return std::string(dest.View());
  }
};

struct LookupCase {
  std::string name;
  bool savePaths;
  int index;
};

class IndexOfEntryCases : public EntryLookup, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(IndexOfEntryCases, FindsTheFirstFoldedMatch) {
  arc_.SavePaths = GetParam().savePaths;
  EXPECT_EQ(arc_.IndexOfEntry(GetParam().name), GetParam().index);
}

INSTANTIATE_TEST_SUITE_P(
    Names, IndexOfEntryCases,
    ::testing::Values(LookupCase{"IMAGES\\Help.JPG", false, 0},
                      LookupCase{"images/help.jpg", true, -1},
                      LookupCase{"images\\help.jp", false, -1},
                      LookupCase{"C:images\\help.jpg", true, 0},
                      LookupCase{"C:images\\help.jpg", false, -1},
                      LookupCase{"x\\a:b.htm", true, 1}, LookupCase{"x\\a:b.htm", false, -1},
                      LookupCase{"X\\A\\B.HTM", false, 3}, LookupCase{"caf\xC3\x89.htm", false, 4},
                      LookupCase{"CAF\xC3\xA9.htm", false, -1}, LookupCase{"", false, -1}));

TEST_F(EntryLookup, ExtractToStreamTakesTheNameAsItIs) {
  arc_.SavePaths = true;
  std::vector<std::string> extracted;
  arc_.OnStreamExtracted = [&](const std::string& name) { extracted.push_back(name); };
  EXPECT_EQ(Contents("Images\\Help.jpg"), "jpeg");
  EXPECT_EQ(MessageOf([&] { Contents("C:images\\help.jpg"); }),
            "C:images\\help.jpg not found in archive");
  EXPECT_EQ(extracted, std::vector<std::string>{"images\\help.jpg"});
}

TEST_F(EntryLookup, ListFolderNamesTheEntriesDirectlyInside) {
  std::vector<std::string> list{"stale"};
  arc_.ListFolder("Images\\", list);
  EXPECT_EQ(list, (std::vector<std::string>{"help.jpg", "HELP.JPG"}));
  arc_.ListFolder("", list);
  EXPECT_EQ(list, (std::vector<std::string>{"b.htm", "caf\xC3\x89.htm"}));
}

TEST_F(EntryLookup, ManyEntriesWithCollidingShapesStayDistinct) {
  TZLBArchiveWriter writer({.Version = 2, .CompressRegistry = true});
  for (int i = 0; i < 20000; ++i) {
    writer.AddEntry("d" + std::to_string(i % 7) + "\\f" + std::to_string(i), std::to_string(i),
                    fcNone);
  }
  ASSERT_TRUE(arc_.OpenArchive(WriteArchive(writer, "many.tlt")));
  for (int i = 0; i < 20000; i += 997) {
    EXPECT_EQ(arc_.IndexOfEntry("D" + std::to_string(i % 7) + "\\F" + std::to_string(i)), i);
  }
  EXPECT_EQ(arc_.IndexOfEntry("d1\\f0"), -1);
  EXPECT_EQ(Contents("d0\\f19999"), "19999");
}

}  // namespace
}  // namespace tomelet::test
