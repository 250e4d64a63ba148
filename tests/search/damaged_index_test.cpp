#include <gtest/gtest.h>

#include "search/IndexFormat.h"
#include "tests/search/SearchFixtures.h"

namespace tomelet::search::testing {
namespace {

std::string RefusalOf(const std::vector<std::byte>& bytes) {
  try {
    const TIndexFile file(bytes);
    file.Open()->Search("files", 0, 10);
  } catch (const ESearchIndexError& e) {
    return e.what();
  }
  return "accepted";
}

class DamagedIndexTest : public ::testing::Test {
 protected:
  std::vector<std::byte> good_ = BuildIndex(ManualPages());
};

TEST_F(DamagedIndexTest, CutOrForeignBytesAreRefusedAsDamaged) {
  auto cut = good_;
  cut.resize(cut.size() / 2);
  EXPECT_EQ(RefusalOf(cut), kDamagedIndexMessage);
  cut.resize(10);
  EXPECT_EQ(RefusalOf(cut), kDamagedIndexMessage);
  EXPECT_EQ(RefusalOf({}), kDamagedIndexMessage);

  auto foreign = good_;
  foreign[0] = std::byte{'X'};
  EXPECT_EQ(RefusalOf(foreign), kDamagedIndexMessage);

  auto noDatabase = good_;
  std::fill(noDatabase.begin() + kIndexHeaderSize, noDatabase.begin() + kIndexHeaderSize + 64,
            std::byte{0});
  EXPECT_EQ(RefusalOf(noDatabase), kDamagedIndexMessage);
}

TEST_F(DamagedIndexTest, ANewerFormatIsRefusedAsNewer) {
  auto newer = good_;
  newer[16] = std::byte{kIndexFormatVersion + 1};
  EXPECT_EQ(RefusalOf(newer), kNewerIndexMessage);
  auto newerDatabase = good_;
  newerDatabase[kIndexHeaderSize + 14] = std::byte{0x7f};  // the database's own format number
  EXPECT_EQ(RefusalOf(newerDatabase), kNewerIndexMessage);
}

// The table of defined names is read without Xapian's checks: sections must come once each, in
// order, as the search hands them to Xapian.
TEST(DefinitionTableTest, RepeatedOrDisorderedSectionsAreRefusedAsDamaged) {
  const format::TDefinitions good = {{"os.path", {1, 7}}, {"os.path.join", {3}}};
  EXPECT_EQ(format::DecodeDefinitions(format::EncodeDefinitions(good)), good);
  for (const auto& bad : {format::TDefinitions{{"x", {3, 3}}}, format::TDefinitions{{"x", {5, 3}}},
                          format::TDefinitions{{"x", {}}}}) {
    EXPECT_THROW(format::DecodeDefinitions(format::EncodeDefinitions(bad)), ESearchIndexError);
  }
}

// The stems whose folded forms are matched apart are looked up by halves: out of order, repeated
// or cut short, the list is damaged rather than silently missing a stem.
TEST(FoldedApartListTest, DisorderedRepeatedOrCutStemsAreRefusedAsDamaged) {
  const std::vector<std::string> good = {"cafe", "naiv", "resum"};
  const std::string encoded = format::EncodeStems(good);
  EXPECT_EQ(format::DecodeStems(encoded), good);
  EXPECT_TRUE(format::DecodeStems(format::EncodeStems({})).empty());
  for (const auto& bad :
       {std::vector<std::string>{"resum", "cafe"}, std::vector<std::string>{"cafe", "cafe"}}) {
    EXPECT_THROW(format::DecodeStems(format::EncodeStems(bad)), ESearchIndexError);
  }
  EXPECT_THROW(format::DecodeStems(encoded.substr(0, encoded.size() - 2)), ESearchIndexError);
}

// Whatever bytes are broken, the answer is results or a refusal: never a crash or another error.
TEST_F(DamagedIndexTest, FlippedBytesAnywhereGiveResultsOrARefusal) {
  std::size_t refused = 0;
  for (std::size_t offset = kIndexHeaderSize; offset < good_.size(); offset += good_.size() / 97) {
    auto broken = good_;
    broken[offset] ^= std::byte{0x5a};
    const std::string outcome = RefusalOf(broken);
    EXPECT_TRUE(outcome == "accepted" || outcome == kDamagedIndexMessage ||
                outcome == kNewerIndexMessage)
        << offset << ": " << outcome;
    refused += outcome != "accepted";
  }
  EXPECT_GT(refused, 0u);
}

}  // namespace
}  // namespace tomelet::search::testing
