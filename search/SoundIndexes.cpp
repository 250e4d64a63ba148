#include "search/SoundIndexes.h"

#include <sys/stat.h>

#include <mutex>
#include <set>

namespace tomelet::search {
namespace {

// Far beyond any file system's clock tick (FAT's is two seconds).
constexpr std::int64_t kSettledNanoseconds = std::int64_t{5} * 1'000'000'000;
// Beyond this many blocks the memory starts afresh, so a long-running server whose documents
// keep changing stays small; the blocks are then merely checked again.
constexpr std::size_t kMostRemembered = 4096;

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

std::set<TIndexBlockIdentity>& Remembered() {
  static std::set<TIndexBlockIdentity> remembered;
  return remembered;
}

std::int64_t Nanoseconds(const timespec& time) {
  return std::int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec;
}

}  // namespace

std::optional<TIndexBlockIdentity> IdentifyIndexBlock(int fd, std::int64_t offset,
                                                      std::int64_t length) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    return std::nullopt;
  }
  return TIndexBlockIdentity{status.st_dev,
                             status.st_ino,
                             status.st_size,
                             Nanoseconds(status.st_mtim),
                             Nanoseconds(status.st_ctim),
                             offset,
                             length};
}

bool WasFoundSound(const TIndexBlockIdentity& block) {
  const std::lock_guard guard(Lock());
  return Remembered().contains(block);
}

void RememberSound(const TIndexBlockIdentity& block, std::int64_t checkBegan) {
  if (checkBegan - block.Changed < kSettledNanoseconds ||
      checkBegan - block.Modified < kSettledNanoseconds) {
    return;
  }
  const std::lock_guard guard(Lock());
  if (Remembered().size() >= kMostRemembered) {
    Remembered().clear();
  }
  Remembered().insert(block);
}

}  // namespace tomelet::search
