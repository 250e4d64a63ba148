#include "search/SectionBlockCache.h"

#include <atomic>

namespace tomelet::search {
namespace {

// About 400 blocks of 20 KiB: every block of eight large manuals, or the hits of the queries
// asked most of a larger library.
constexpr std::size_t kSharedBytes = 8 << 20;

}  // namespace

std::shared_ptr<TSectionBlockCache> TSectionBlockCache::Shared() {
  static const auto cache = std::make_shared<TSectionBlockCache>(kSharedBytes);
  return cache;
}

std::uint64_t TSectionBlockCache::NewOwner() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

TSectionBlockCache::TBlock TSectionBlockCache::Find(const TKey& key) {
  const std::lock_guard guard(lock_);
  const auto found = entries_.find(key);
  if (found == entries_.end()) {
    return nullptr;
  }
  recent_.splice(recent_.begin(), recent_, found->second);
  return found->second->Block;
}

TSectionBlockCache::TBlock TSectionBlockCache::Keep(const TKey& key, TBlock block) {
  const std::lock_guard guard(lock_);
  const auto found = entries_.find(key);
  if (found != entries_.end()) {
    return found->second->Block;
  }
  const std::size_t bytes = block->Bytes();
  if (bytes > maxBytes_) {
    return block;
  }
  while (bytes_ + bytes > maxBytes_) {
    Forget(std::prev(recent_.end()));
  }
  recent_.push_front({key, block});
  entries_.emplace(key, recent_.begin());
  bytes_ += bytes;
  return block;
}

void TSectionBlockCache::Drop(std::uint64_t owner) {
  const std::lock_guard guard(lock_);
  auto entry = entries_.lower_bound({owner, 0, 0});
  while (entry != entries_.end() && std::get<0>(entry->first) == owner) {
    Forget((entry++)->second);
  }
}

void TSectionBlockCache::Bound(std::size_t maxBytes) {
  const std::lock_guard guard(lock_);
  maxBytes_ = maxBytes;
  while (bytes_ > maxBytes_) {
    Forget(std::prev(recent_.end()));
  }
}

std::size_t TSectionBlockCache::Bytes() const {
  const std::lock_guard guard(lock_);
  return bytes_;
}

void TSectionBlockCache::Forget(std::list<TEntry>::iterator entry) {
  bytes_ -= entry->Block->Bytes();
  entries_.erase(entry->Key);
  recent_.erase(entry);
}

}  // namespace tomelet::search
