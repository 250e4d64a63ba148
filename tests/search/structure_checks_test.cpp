// Structure checks made several in one child still give each index its own verdict: a damaged or
// newer index among sound ones is found as it would be alone, and sound ones beside it stay
// sound.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "search/SoundIndexes.h"
#include "tests/search/SearchFixtures.h"

namespace tomelet::search::testing {
namespace {

// Indexes in files of their own, each opened anew for every descriptor asked, since a check
// moves its descriptor's file position.
class StructureChecksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto good = BuildIndex(ManualPages());
    auto zeroed = good;
    std::fill(zeroed.begin() + kIndexHeaderSize, zeroed.begin() + kIndexHeaderSize + 64,
              std::byte{0});
    auto cut = good;
    cut.resize(cut.size() * 2 / 3);
    auto newer = good;
    newer[kIndexHeaderSize + 14] = std::byte{0x7f};  // the database's own format number
    for (const auto& [name, bytes] : {std::pair{"sound", &good}, std::pair{"zeroed", &zeroed},
                                      std::pair{"cut", &cut}, std::pair{"newer", &newer}}) {
      std::ofstream(folder_ / name, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes->data()),
                 static_cast<std::streamsize>(bytes->size()));
    }
  }
  void TearDown() override {
    for (const int fd : opened_) {
      ::close(fd);
    }
  }

  TStructureCheck CheckOf(const std::string& name) {
    const int fd = ::open((folder_ / name).c_str(), O_RDONLY | O_CLOEXEC);
    opened_.push_back(fd);
    return {fd, static_cast<std::int64_t>(kIndexHeaderSize),
            static_cast<std::int64_t>(std::filesystem::file_size(folder_ / name))};
  }

  TScratchFolder folder_;
  std::vector<int> opened_;
};

TEST_F(StructureChecksTest, DamagedAndNewerIndexesAmongSoundOnesGetTheirOwnVerdicts) {
  const std::vector<TStructureCheck> checks = {CheckOf("sound"), CheckOf("zeroed"),
                                               CheckOf("sound"), CheckOf("cut"),
                                               CheckOf("newer"), CheckOf("sound")};
  EXPECT_EQ(CheckStructures(checks),
            (std::vector{kStructureSound, kStructureDamaged, kStructureSound, kStructureDamaged,
                         kStructureNewer, kStructureSound}));
  EXPECT_EQ(CheckStructures(std::vector{CheckOf("cut")}), std::vector{kStructureDamaged});
}

// More checks at once than one child takes, asked on threads that come and go: each thread gets
// the verdict on its own index, whichever thread's child made it.
TEST_F(StructureChecksTest, ChecksAskedOnManyThreadsAtOnceEachGetTheirOwnVerdict) {
  constexpr int kThreads = 24;
  constexpr int kRounds = 3;
  std::vector<std::vector<TStructureCheck>> checks(kThreads);
  for (int thread = 0; thread < kThreads; ++thread) {
    for (int round = 0; round < kRounds; ++round) {
      checks[thread].push_back(CheckOf((thread + round) % 3 == 0 ? "zeroed" : "sound"));
    }
  }
  std::atomic<int> wrong = 0;
  std::vector<std::thread> threads;
  for (int thread = 0; thread < kThreads; ++thread) {
    threads.emplace_back([&, thread] {
      for (int round = 0; round < kRounds; ++round) {
        const auto expected = (thread + round) % 3 == 0 ? kStructureDamaged : kStructureSound;
        wrong += CheckStructure(checks[thread][round]) != expected;
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace tomelet::search::testing
