#include <gtest/gtest.h>

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
