// Reply bodies over archive entries, and the cache of inflated entries they share.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "document/Document.h"
#include "serve/DocumentSite.h"
#include "serve/MemoryBudget.h"

namespace tomelet::serve {

using TSharedBytes = std::shared_ptr<const std::vector<std::byte>>;

std::unique_ptr<TBodySource> TextBody(std::string text);
// Bytes [first, first + length) of a shared buffer, handed out without copying.
std::unique_ptr<TBodySource> SharedBody(TSharedBytes bytes, std::int64_t first,
                                        std::int64_t length);
// Whether the file opened still holds the bytes it held then: the same size and modification
// time, and the same status-change time (which a writer cannot put back) while the file still
// has a name. A file replaced or removed by name is intact: its bytes stay as they were for
// whoever holds it open; only one written in place is not.
bool IsIntact(const TDocument& archive);
// Raises "The document file has been rewritten since it was opened" once it is not intact.
void RaiseIfRewritten(const TDocument& archive);

// The two bodies that read the file as the transport asks for pieces hand out each piece only
// while the file is intact; one rewritten midway raises, so the transport cuts the reply rather
// than mix two documents.
// File bytes of the archive.
std::unique_ptr<TBodySource> FileBlockBody(std::shared_ptr<const TDocument> archive,
                                           TFileBlock block);
// Bytes [first, first + length) of an entry's contents, inflated in pieces.
std::unique_ptr<TBodySource> InflatingBody(std::shared_ptr<const TDocument> archive, int index,
                                           std::int64_t first, std::int64_t length);

// The entry contents held whole in memory for the whole server, cached or by replies in flight,
// within one budget shared by every document it serves; the cache keeps the contents of recently
// served entries in half of it, least recently used out first, so popular pages are inflated
// once rather than once per request.
class TEntryCache {
 public:
  explicit TEntryCache(std::size_t budget);
  TEntryCache(const TEntryCache&) = delete;
  TEntryCache& operator=(const TEntryCache&) = delete;

  // A number for a new document's entries, never given before.
  std::uint64_t NewOwner();
  // The cached contents of the owner's entry; else load()'s result (size bytes) when they fit
  // the budget, kept while they fit the cache's half; else null, and the caller streams the
  // entry instead.
  TSharedBytes Get(std::uint64_t owner, int index, std::size_t size,
                   const std::function<std::vector<std::byte>()>& load);
  // Drops the owner's entries from the cache (a document site that goes).
  void Forget(std::uint64_t owner);
  // Bytes of the budget held now.
  std::size_t Held() const { return budget_.Used(); }

 private:
  struct Key {
    std::uint64_t Owner;
    int Index;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const {
      return std::hash<std::uint64_t>()(key.Owner * 0x9e3779b97f4a7c15ull ^
                                        static_cast<std::uint64_t>(key.Index));
    }
  };
  struct Slot {
    TSharedBytes Bytes;
    std::list<Key>::iterator Age;
  };
  void Insert(const Key& key, const TSharedBytes& bytes);

  TMemoryBudget budget_;
  std::size_t share_;
  std::atomic<std::uint64_t> owners_{0};
  std::mutex mutex_;
  std::size_t used_ = 0;
  std::list<Key> ages_;
  std::unordered_map<Key, Slot, KeyHash> slots_;
};

}  // namespace tomelet::serve
