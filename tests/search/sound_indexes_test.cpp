// An index checked once is not checked again while its file stays the same: the memory of a
// passed check holds for exactly the bytes checked, and never for a file changed too recently to
// tell a later write from the one before.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "search/SoundIndexes.h"
#include "tests/search/SearchFixtures.h"

namespace tomelet::search::testing {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

// A document of 4 KiB in folder, open for reading and writing; -1 when it cannot be made.
int OpenScratchDocument(const TScratchFolder& folder) {
  const auto path = folder / "document.tlt";
  std::ofstream(path, std::ios::binary) << std::string(4096, 'x');
  return ::open(path.c_str(), O_RDWR | O_CLOEXEC);
}

TEST(SoundIndexes, APassedCheckHoldsOnlyForTheSameBytesOfASettledFile) {
  TScratchFolder folder;
  const int fd = OpenScratchDocument(folder);
  ASSERT_GE(fd, 0);
  const auto block = IdentifyIndexBlock(fd, 100, 2000);
  ASSERT_TRUE(block);
  EXPECT_FALSE(WasFoundSound(*block));

  // Written a moment before the check began: a write in the same clock tick could follow
  // unseen, so nothing is remembered.
  RememberSound(*block, Nanoseconds(block->File.StatusChanged) + kSecond);
  EXPECT_FALSE(WasFoundSound(*block));

  RememberSound(*block, Nanoseconds(block->File.StatusChanged) + 60 * kSecond);
  EXPECT_TRUE(WasFoundSound(*block));
  EXPECT_TRUE(WasFoundSound(*IdentifyIndexBlock(fd, 100, 2000)));
  // Other bytes of the same file were not checked.
  EXPECT_FALSE(WasFoundSound(*IdentifyIndexBlock(fd, 100, 2001)));
  EXPECT_FALSE(WasFoundSound(*IdentifyIndexBlock(fd, 99, 2000)));

  // A write changes the file's change time, whatever its modification time is then set to.
  ASSERT_EQ(::pwrite(fd, "y", 1, 150), 1);
  const struct timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
  ASSERT_EQ(::futimens(fd, times), 0);
  EXPECT_FALSE(WasFoundSound(*IdentifyIndexBlock(fd, 100, 2000)));
  auto changed = *block;
  changed.File.StatusChanged.tv_nsec += 1;
  EXPECT_FALSE(WasFoundSound(changed));
  ::close(fd);
}

// Hard links searched at once: one thread checks the shared block while the others wait for
// it, and the thread checking may open it again within its turn.
TEST(SoundIndexes, OneThreadAtATimeTakesABlocksTurn) {
  TScratchFolder folder;
  const int fd = OpenScratchDocument(folder);
  ASSERT_GE(fd, 0);
  const auto block = IdentifyIndexBlock(fd, 100, 2000);
  std::atomic<bool> second{false};
  std::thread waiting;
  {
    const TCheckTurn turn(block);
    const TCheckTurn again(block);
    const TCheckTurn other(IdentifyIndexBlock(fd, 0, 100));
    waiting = std::thread([&] {
      const TCheckTurn mine(block);
      second = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(second);
  }
  waiting.join();
  EXPECT_TRUE(second);
  ::close(fd);
}

// A copy of a block found sound needs no check of its own, but only while it holds the same
// bytes as a kept block whose file is unchanged.
TEST(SoundIndexes, OnlyAnUnchangedCopyOfASoundBlockIsSound) {
  TScratchFolder folder;
  const auto write = [&](const char* name, const std::string& bytes) {
    std::ofstream(folder / name, std::ios::binary) << bytes;
    return ::open((folder / name).c_str(), O_RDWR | O_CLOEXEC);
  };
  const std::string bytes = std::string(300000, 'i') + "ndex" + std::string(5000, 'z');
  const int sound = write("sound.tlt", "head" + bytes);
  const int copy = write("copy.tlt", "other head" + bytes);
  std::string altered = bytes;
  altered[299999] = 'j';
  const int other = write("other.tlt", "head" + altered);
  ASSERT_TRUE(sound >= 0 && copy >= 0 && other >= 0);
  const auto length = static_cast<std::int64_t>(bytes.size());
  const auto block = *IdentifyIndexBlock(sound, 4, length);
  EXPECT_FALSE(IsCopyOfSound(copy, *IdentifyIndexBlock(copy, 10, length)));
  RememberSound(block, Nanoseconds(block.File.StatusChanged) + 60 * kSecond);
  KeepSoundContent(sound, block);

  EXPECT_TRUE(IsCopyOfSound(copy, *IdentifyIndexBlock(copy, 10, length)));
  EXPECT_FALSE(IsCopyOfSound(copy, *IdentifyIndexBlock(copy, 9, length)));
  EXPECT_FALSE(IsCopyOfSound(other, *IdentifyIndexBlock(other, 4, length)));
  // Copied a moment ago: the copy is sound now, but not remembered.
  EXPECT_FALSE(WasFoundSound(*IdentifyIndexBlock(copy, 10, length)));
  EXPECT_TRUE(SoundContentOf(block.File));
  EXPECT_FALSE(SoundContentOf(IdentifyIndexBlock(copy, 10, length)->File));

  // The kept file written over no longer holds what was checked.
  ASSERT_EQ(::pwrite(sound, "q", 1, 100), 1);
  EXPECT_FALSE(IsCopyOfSound(copy, *IdentifyIndexBlock(copy, 10, length)));
  for (const int fd : {sound, copy, other}) {
    ::close(fd);
  }
}

}  // namespace
}  // namespace tomelet::search::testing
