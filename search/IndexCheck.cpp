// Checking an index's structure before its first query, once for the same bytes of an unchanged
// file.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "search/SearchIndexParts.h"
#include "search/SoundIndexes.h"

namespace tomelet::search {
namespace {

// A description of the file of its own: its reads move no position another descriptor shares.
// -1 when there is none to be had (no /proc).
int Reopen(int fd) {
  char path[32];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  return ::open(path, O_RDONLY | O_CLOEXEC);
}

// The description Reopen gave, closed when the check is done.
class TOwnDescription {
 public:
  explicit TOwnDescription(int fd) : fd_(Reopen(fd)) {}
  ~TOwnDescription() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  TOwnDescription(const TOwnDescription&) = delete;
  TOwnDescription& operator=(const TOwnDescription&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

// Xapian trusts the structure of its trees while searching; a crafted index could make it read
// freed memory, so the whole structure is checked before the first query, unless this process
// found the same bytes of the same unchanged file sound before.
void TSearchIndex::CheckUnlessKnown(std::int64_t offset, std::int64_t length) const {
  const auto block = IdentifyIndexBlock(impl_->fd, offset, length);
  const TCheckTurn turn(block);
  if (block && WasFoundSound(*block)) {
    return;
  }
  const auto began = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
  Check();
  if (block) {
    RememberSound(*block, began);
  }
}

// A crafted database can crash Xapian's checker itself, so the check runs in a child process
// and only its verdict comes back here. The child reads a description of the file of its own,
// so checks run beside one another and beside indexes being opened; without one it shares this
// process's file position, which opening reads, and holds them off.
void TSearchIndex::Check() const {
  const TOwnDescription description(impl_->fd);
  const int own = description.Get();
  std::unique_lock guard(OpeningLock(), std::defer_lock);
  if (own < 0) {
    guard.lock();
  }
  const auto verdict = CheckStructure(
      {own >= 0 ? own : impl_->fd, impl_->databaseOffset, static_cast<std::int64_t>(impl_->bytes)});
  if (verdict == kStructureNewer) {
    throw ESearchIndexError(std::string(kNewerIndexMessage));
  }
  if (verdict != kStructureSound) {
    ThrowDamaged();
  }
}

}  // namespace tomelet::search
