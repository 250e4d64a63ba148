#include "search/SoundIndexes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <span>
#include <vector>

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

// At most this many sound blocks are kept open to compare copies with, the latest first.
constexpr std::size_t kMostKeptContents = 16;
constexpr std::size_t kComparedBytes = 256 * 1024;

struct TSoundBlock {
  TIndexBlockIdentity Block;
  // Blocks with the same number hold the same bytes.
  std::uint64_t Content = 0;
};

// Looking through even a full list costs little beside opening an index.
std::vector<TSoundBlock>& Remembered() {
  static std::vector<TSoundBlock> remembered;
  return remembered;
}

std::vector<TSoundBlock>::iterator Find(const TIndexBlockIdentity& block) {
  return std::find_if(Remembered().begin(), Remembered().end(),
                      [&](const TSoundBlock& one) { return one.Block == block; });
}

bool IsRemembered(const TIndexBlockIdentity& block) {
  return Find(block) != Remembered().end();
}

std::uint64_t NewContent() {
  static std::uint64_t last = 0;
  return ++last;
}

bool Settled(const TIndexBlockIdentity& block, std::int64_t checkBegan) {
  return checkBegan - Nanoseconds(block.File.StatusChanged) >= kSettledNanoseconds &&
         checkBegan - Nanoseconds(block.File.Modified) >= kSettledNanoseconds;
}

// Under Lock().
void Remember(const TIndexBlockIdentity& block, std::uint64_t content) {
  if (Remembered().size() >= kMostRemembered) {
    Remembered().clear();
  }
  if (!IsRemembered(block)) {
    Remembered().push_back({block, content});
  }
}

// A sound block kept open, its descriptor its own.
struct TKeptContent {
  TSoundBlock Sound;
  int Fd = -1;
};

// Under Lock(); the latest last.
std::vector<TKeptContent>& Kept() {
  static std::vector<TKeptContent> kept;
  return kept;
}

bool ReadFully(int fd, std::span<char> buffer, std::int64_t offset) {
  while (!buffer.empty()) {
    const ssize_t count = ::pread(fd, buffer.data(), buffer.size(), offset);
    if (count <= 0) {
      return false;
    }
    buffer = buffer.subspan(static_cast<std::size_t>(count));
    offset += count;
  }
  return true;
}

bool SameBytes(int fd, std::int64_t offset, int keptFd, std::int64_t keptOffset,
               std::int64_t length) {
  std::vector<char> ours(kComparedBytes);
  std::vector<char> theirs(kComparedBytes);
  for (std::int64_t done = 0; done < length;) {
    const auto size = static_cast<std::size_t>(
        std::min<std::int64_t>(length - done, static_cast<std::int64_t>(kComparedBytes)));
    if (!ReadFully(fd, {ours.data(), size}, offset + done) ||
        !ReadFully(keptFd, {theirs.data(), size}, keptOffset + done) ||
        std::memcmp(ours.data(), theirs.data(), size) != 0) {
      return false;
    }
    done += static_cast<std::int64_t>(size);
  }
  return true;
}

// Copies of the kept blocks of this length whose files are unchanged, each descriptor its own.
std::vector<TKeptContent> Candidates(std::int64_t length) {
  std::vector<TKeptContent> candidates;
  const std::lock_guard guard(Lock());
  for (const auto& kept : Kept()) {
    if (kept.Sound.Block.Length == length) {
      const int fd = ::fcntl(kept.Fd, F_DUPFD_CLOEXEC, 0);
      if (fd >= 0) {
        candidates.push_back({kept.Sound, fd});
      }
    }
  }
  return candidates;
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

}  // namespace

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
  if (!Settled(block, checkBegan)) {
    return;
  }
  const std::lock_guard guard(Lock());
  Remember(block, NewContent());
}

bool IsCopyOfSound(int fd, const TIndexBlockIdentity& block) {
  const auto began = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
  std::optional<std::uint64_t> content;
  for (const auto& candidate : Candidates(block.Length)) {
    // A kept file written since may no longer hold what was found sound.
    if (!content && IdentityOf(candidate.Fd) == candidate.Sound.Block.File &&
        SameBytes(fd, block.Offset, candidate.Fd, candidate.Sound.Block.Offset, block.Length)) {
      content = candidate.Sound.Content;
    }
    ::close(candidate.Fd);
  }
  if (content && Settled(block, began)) {
    const std::lock_guard guard(Lock());
    Remember(block, *content);
  }
  return content.has_value();
}

bool MayBeCopyOfSound(std::int64_t fileSize) {
  const std::lock_guard guard(Lock());
  return std::any_of(Kept().begin(), Kept().end(), [&](const TKeptContent& kept) {
    return kept.Sound.Block.File.Size == fileSize;
  });
}

void KeepSoundContent(int fd, const TIndexBlockIdentity& block) {
  const std::lock_guard guard(Lock());
  const auto sound = Find(block);
  auto& kept = Kept();
  if (sound == Remembered().end() ||
      std::any_of(kept.begin(), kept.end(),
                  [&](const TKeptContent& one) { return one.Sound.Content == sound->Content; })) {
    return;
  }
  const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) {
    return;
  }
  if (kept.size() >= kMostKeptContents) {
    ::close(kept.front().Fd);
    kept.erase(kept.begin());
  }
  kept.push_back({*sound, own});
}

std::optional<std::uint64_t> SoundContentOf(const TFileIdentity& file) {
  const std::lock_guard guard(Lock());
  const auto sound = std::find_if(Remembered().begin(), Remembered().end(),
                                  [&](const TSoundBlock& one) { return one.Block.File == file; });
  if (sound == Remembered().end()) {
    return std::nullopt;
  }
  return sound->Content;
}

}  // namespace tomelet::search
