// Reply bodies over archive entries, and the cache of inflated entries they share.
#pragma once

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
#include "tools/tomelet/serve/DocumentSite.h"
#include "tools/tomelet/serve/MemoryBudget.h"

namespace tomelet::serve {

using TSharedBytes = std::shared_ptr<const std::vector<std::byte>>;

std::unique_ptr<TBodySource> TextBody(std::string text);
// Bytes [first, first + length) of a shared buffer, handed out without copying.
std::unique_ptr<TBodySource> SharedBody(TSharedBytes bytes, std::int64_t first,
                                        std::int64_t length);
// Raises "The document has changed on disk since it was opened" once the file at the archive's
// path is no longer the one opened.
void RaiseIfChanged(const TDocument& archive);

// The two bodies that read the file as the transport asks for pieces hand out each piece only
// while the document file is still the one opened; a change found midway raises, so the
// transport cuts the reply rather than mix two documents.
// File bytes of the archive.
std::unique_ptr<TBodySource> FileBlockBody(std::shared_ptr<const TDocument> archive,
                                           TStoredBlock block);
// Bytes [first, first + length) of an entry's contents, inflated in pieces.
std::unique_ptr<TBodySource> InflatingBody(std::shared_ptr<const TDocument> archive, int index,
                                           std::int64_t first, std::int64_t length);

// Keeps the contents of recently served entries up to a share of the memory budget, least
// recently used out first, so popular pages are inflated once rather than once per request.
class TEntryCache {
 public:
  // budget counts every entry held whole, cached or not; share is the most the cache keeps.
  TEntryCache(TMemoryBudget& budget, std::size_t share) : budget_(budget), share_(share) {}
  // The cached contents of the entry; else load()'s result (size bytes) when they fit the
  // budget, kept while they fit the share; else null, and the caller streams the entry instead.
  TSharedBytes Get(int index, std::size_t size,
                   const std::function<std::vector<std::byte>()>& load);

 private:
  struct Slot {
    TSharedBytes Bytes;
    std::list<int>::iterator Age;
  };
  void Insert(int index, const TSharedBytes& bytes);

  std::mutex mutex_;
  TMemoryBudget& budget_;
  std::size_t share_;
  std::size_t used_ = 0;
  std::list<int> ages_;
  std::unordered_map<int, Slot> slots_;
};

}  // namespace tomelet::serve
