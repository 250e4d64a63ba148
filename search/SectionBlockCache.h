// What every open index read last for its hits, kept for the hits of one query and of queries
// asked again: section blocks inflated, and the start of sections' text read back from their
// pages. One cache of each for the process, bounded in bytes, so that the room goes to the
// indexes being searched however many are open. Safe to use from several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>

#include "search/IndexFormat.h"

namespace tomelet::search {

// A number for an index just opened, unlike any other of the process: its part of the keys.
std::uint64_t NewCacheOwner();

// TValue::Bytes() tells what one value holds in memory.
template <class TValue>
class TRecentCache {
 public:
  // The owning index's number, then two numbers of the owner's choosing.
  using TKey = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>;
  using TShared = std::shared_ptr<const TValue>;

  explicit TRecentCache(std::size_t maxBytes) : maxBytes_(maxBytes) {}

  // The value if held (it becomes the most recent), else null.
  TShared Find(const TKey& key) {
    const std::lock_guard guard(lock_);
    const auto found = entries_.find(key);
    if (found == entries_.end()) {
      return nullptr;
    }
    recent_.splice(recent_.begin(), recent_, found->second);
    return found->second->Value;
  }

  // Keeps a value just read, dropping the least recent ones beyond the bound, and returns the
  // value held under the key: another thread may have kept one first.
  TShared Keep(const TKey& key, TShared value) {
    const std::lock_guard guard(lock_);
    const auto found = entries_.find(key);
    if (found != entries_.end()) {
      return found->second->Value;
    }
    const std::size_t bytes = value->Bytes();
    if (bytes > maxBytes_) {
      return value;
    }
    while (bytes_ + bytes > maxBytes_) {
      Forget(std::prev(recent_.end()));
    }
    recent_.push_front({key, value});
    entries_.emplace(key, recent_.begin());
    bytes_ += bytes;
    return value;
  }

  // Lets the values of an index that closes go.
  void Drop(std::uint64_t owner) {
    const std::lock_guard guard(lock_);
    auto entry = entries_.lower_bound({owner, 0, 0});
    while (entry != entries_.end() && std::get<0>(entry->first) == owner) {
      Forget((entry++)->second);
    }
  }

  // Keeps maxBytes at most from now on, dropping the least recent values beyond them.
  void Bound(std::size_t maxBytes) {
    const std::lock_guard guard(lock_);
    maxBytes_ = maxBytes;
    while (bytes_ > maxBytes_) {
      Forget(std::prev(recent_.end()));
    }
  }

  std::size_t Bytes() const {
    const std::lock_guard guard(lock_);
    return bytes_;
  }

 private:
  struct TEntry {
    TKey Key;
    TShared Value;
  };

  void Forget(typename std::list<TEntry>::iterator entry) {
    bytes_ -= entry->Value->Bytes();
    entries_.erase(entry->Key);
    recent_.erase(entry);
  }

  std::size_t maxBytes_;
  mutable std::mutex lock_;
  std::list<TEntry> recent_;  // the most recently used first
  std::map<TKey, typename std::list<TEntry>::iterator> entries_;
  std::size_t bytes_ = 0;
};

// The start of a section's text read back from its page, as a snippet is cut from it.
struct TSectionLead {
  std::string Text;
  std::size_t Bytes() const { return sizeof(*this) + Text.capacity(); }
};

using TSectionBlockCache = TRecentCache<format::TSectionBlock>;
using TSectionLeadCache = TRecentCache<TSectionLead>;

// The ones every index shares. Each index holds them, so that one destroyed as the process exits
// still finds them.
std::shared_ptr<TSectionBlockCache> SharedSectionBlocks();
std::shared_ptr<TSectionLeadCache> SharedSectionLeads();

}  // namespace tomelet::search
