#include "search/SoundIndexes.h"

#include <unistd.h>
#include <xapian.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/process/ChildProcess.h"

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

// Looking through even a full list costs little beside opening an index.
std::vector<TIndexBlockIdentity>& Remembered() {
  static std::vector<TIndexBlockIdentity> remembered;
  return remembered;
}

bool IsRemembered(const TIndexBlockIdentity& block) {
  return std::find(Remembered().begin(), Remembered().end(), block) != Remembered().end();
}

struct TTurns {
  std::mutex Lock;
  std::condition_variable Freed;
  std::vector<TIndexBlockIdentity> Taken;
};

TTurns& Turns() {
  static TTurns turns;
  return turns;
}

// The turns this thread holds, so that it never waits for itself.
thread_local std::vector<TIndexBlockIdentity> held;

// In the helper's child: Xapian takes the descriptor over and closes it. It is placed at the
// database here, since a child forked again after one that stalled finds it moved.
int CheckInChild(int fd, std::int64_t offset) {
  try {
    if (::lseek(fd, offset, SEEK_SET) != offset) {
      return kStructureDamaged;
    }
    return Xapian::Database::check(fd, 0) == 0 ? kStructureSound : kStructureDamaged;
  } catch (const Xapian::DatabaseVersionError&) {
    return kStructureNewer;
  } catch (...) {
    // Damaged lengths surface from the checker as standard exceptions too.
    return kStructureDamaged;
  }
}

}  // namespace

TStructureVerdict CheckStructure(int fd, std::int64_t offset) {
  static TForkedHelpers helpers(CheckInChild, kStructureDamaged);
  const int verdict = helpers.Run(fd, offset);
  return verdict == kStructureSound || verdict == kStructureNewer
             ? static_cast<TStructureVerdict>(verdict)
             : kStructureDamaged;
}

TCheckTurn::TCheckTurn(const std::optional<TIndexBlockIdentity>& block) {
  if (!block || std::find(held.begin(), held.end(), *block) != held.end()) {
    return;
  }
  auto& turns = Turns();
  std::unique_lock guard(turns.Lock);
  const auto taken = [&] {
    return std::find(turns.Taken.begin(), turns.Taken.end(), *block) != turns.Taken.end();
  };
  if (taken()) {
    // Once that check is over the block is remembered as sound or, changed too recently to be
    // remembered, checked by every opener again, at once rather than one after another.
    turns.Freed.wait(guard, [&] { return !taken(); });
    return;
  }
  turns.Taken.push_back(*block);
  held.push_back(*block);
  taken_ = block;
}

TCheckTurn::~TCheckTurn() {
  if (!taken_) {
    return;
  }
  auto& turns = Turns();
  {
    const std::lock_guard guard(turns.Lock);
    turns.Taken.erase(std::find(turns.Taken.begin(), turns.Taken.end(), *taken_));
  }
  held.erase(std::find(held.begin(), held.end(), *taken_));
  turns.Freed.notify_all();
}

std::optional<TIndexBlockIdentity> IdentifyIndexBlock(int fd, std::int64_t offset,
                                                      std::int64_t length) {
  const auto file = IdentityOf(fd);
  if (!file) {
    return std::nullopt;
  }
  return TIndexBlockIdentity{*file, offset, length};
}

bool WasFoundSound(const TIndexBlockIdentity& block) {
  const std::lock_guard guard(Lock());
  return IsRemembered(block);
}

void RememberSound(const TIndexBlockIdentity& block, std::int64_t checkBegan) {
  if (checkBegan - Nanoseconds(block.File.StatusChanged) < kSettledNanoseconds ||
      checkBegan - Nanoseconds(block.File.Modified) < kSettledNanoseconds) {
    return;
  }
  const std::lock_guard guard(Lock());
  if (Remembered().size() >= kMostRemembered) {
    Remembered().clear();
  }
  if (!IsRemembered(block)) {
    Remembered().push_back(block);
  }
}

}  // namespace tomelet::search
