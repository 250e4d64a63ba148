// The section blocks read last by every open index, kept inflated, so that the hits of one query
// and of queries asked again inflate each block once. One cache for the process, bounded in
// bytes, so that the room goes to the indexes being searched however many are open. Safe to use
// from several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

#include "search/IndexFormat.h"

namespace tomelet::search {

class TSectionBlockCache {
 public:
  // The index's own number (never used again in the process), its share, the block's number.
  using TKey = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>;
  using TBlock = std::shared_ptr<const format::TSectionBlock>;

  explicit TSectionBlockCache(std::size_t maxBytes) : maxBytes_(maxBytes) {}

  // The one every index shares. Each index holds it, so that one destroyed as the process
  // exits still finds it.
  static std::shared_ptr<TSectionBlockCache> Shared();
  // A number for an index just opened, unlike any other of the process.
  static std::uint64_t NewOwner();

  // The block if held (it becomes the most recent), else null.
  TBlock Find(const TKey& key);
  // Keeps a block just read, dropping the least recent ones beyond the bound, and returns the
  // block held under the key: another thread may have kept the same block first.
  TBlock Keep(const TKey& key, TBlock block);
  // Lets the blocks of an index that closes go.
  void Drop(std::uint64_t owner);
  // Keeps maxBytes at most from now on, dropping the least recent blocks beyond them.
  void Bound(std::size_t maxBytes);
  std::size_t Bytes() const;

 private:
  struct TEntry {
    TKey Key;
    TBlock Block;
  };
  void Forget(std::list<TEntry>::iterator entry);

  std::size_t maxBytes_;
  mutable std::mutex lock_;
  std::list<TEntry> recent_;  // the most recently used first
  std::map<TKey, std::list<TEntry>::iterator> entries_;
  std::size_t bytes_ = 0;
};

}  // namespace tomelet::search
