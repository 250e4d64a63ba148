#include <gtest/gtest.h>
#include <unistd.h>

#include <cstddef>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/process/FreedMemory.h"

namespace tomelet {
namespace {

std::size_t ResidentMiB() {
  std::ifstream statm("/proc/self/statm");
  std::size_t size = 0;
  std::size_t resident = 0;
  statm >> size >> resident;
  return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) >> 20;
}

// Many small blocks freed below one still held leave a hole the allocator keeps: it must still
// go back to the system, however rarely the heaps are walked.
TEST(FreedMemory, ALargeHoleLeftByManySmallBlocksGoesBack) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator keeps freed blocks in its quarantine";
#endif
  constexpr std::size_t kBlocks = 200'000;
  constexpr std::size_t kBlockSize = 512;
  ReturnFreedMemory();
  std::vector<std::unique_ptr<char[]>> blocks(kBlocks);
  for (auto& block : blocks) {
    block = std::make_unique<char[]>(kBlockSize);
    block[0] = 1;
  }
  const auto kept = std::make_unique<char[]>(kBlockSize);
  blocks.clear();
  const std::size_t before = ResidentMiB();
  ReturnFreedMemory();
  EXPECT_LT(ResidentMiB() + 60, before) << kept.get();
}

}  // namespace
}  // namespace tomelet
