// The folder of search indexes built on demand for documents that carry none: marking an index
// as used, and keeping the folder from growing without bound as documents change.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>

namespace tomelet::search {

struct TIndexCacheLimits {
  // An index not used for this long is removed.
  std::chrono::hours MaxIdle{24 * 30};
  // Beyond this many bytes in all, the least recently used indexes are removed.
  std::uintmax_t MaxBytes = std::uintmax_t{256} << 20;
};

// Marks the index as used now: its modification time is the time it was last used, to the hour,
// set by one system call without reading or writing a byte. One marked within the hour is left
// as it is, so that an index opened again is still the file whose check this process remembers
// (see TSearchIndex). Fails silently (a read-only cache).
void MarkIndexUsed(const std::filesystem::path& index);

// Removes the indexes of folder not used within limits.MaxIdle, then the least recently used
// until the indexes fill at most limits.MaxBytes, and leftovers of an interrupted build older
// than a day; keep always stays. Only the cache's own files (named "*.index" and
// "*.index.XXXXXX") are touched. Never throws: a cache that cannot be pruned still works.
void PruneIndexCache(const std::filesystem::path& folder, const std::filesystem::path& keep,
                     const TIndexCacheLimits& limits = {});

}  // namespace tomelet::search
