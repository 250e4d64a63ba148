// The index of one open document: the one it carries, or one built from its pages on demand
// into the user's cache folder (in the background, with progress, for servers and windows).
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "search/SearchIndex.h"

namespace tomelet {
class TArchiveSnapshot;
}

namespace tomelet::search {

// Pages done and pages in all, after each page.
using TIndexProgress = std::function<void(std::size_t done, std::size_t total)>;

// The index of the document's HTML pages; the stemmer follows the lang of startPage (an archive
// path, may be empty) unless settings name a language. Pages that cannot be read are left out.
std::vector<std::byte> BuildArchiveIndex(const TArchiveSnapshot& archive,
                                         std::string_view startPage, TIndexSettings settings,
                                         const TIndexProgress& progress);

// Null when the document carries no index. Throws ESearchIndexError when the entry is damaged
// (deflated, failing its CRC, unreadable as an index) or newer than this version reads.
std::unique_ptr<TSearchIndex> OpenEmbeddedIndex(const TArchiveSnapshot& archive);

// $XDG_CACHE_HOME/tomelet, else ~/.cache/tomelet.
std::filesystem::path IndexCacheFolder();
// The cache file for this document's contents; a changed document gets another name.
std::filesystem::path CachedIndexPath(const TArchiveSnapshot& archive, std::string_view startPage);

struct TOpenedIndex {
  std::shared_ptr<const TSearchIndex> Index;
  // Why the document's own index was not used, empty when it was or when there was none.
  std::string Refusal;
};

// The embedded index; failing that, the cached one; failing that, builds it now (reporting
// progress) and caches it. Throws ESearchIndexError when no index can be had.
TOpenedIndex OpenDocumentIndex(const TArchiveSnapshot& archive, std::string_view startPage,
                               const TIndexProgress& progress);

// OpenDocumentIndex in two steps: the first call to State() opens an existing index (embedded
// or cached, its structure check included) on the caller's thread, so callers make that call
// off any thread that must stay responsive (serve's search pool, the viewer's search worker);
// only a build, when there is no index, runs on a thread of its own.
class TBackgroundIndex {
 public:
  struct TState {
    std::shared_ptr<const TSearchIndex> Index;  // null until ready
    int Percent = 0;
    std::string Error;    // why there will be no index
    std::string Refusal;  // as TOpenedIndex
  };

  TBackgroundIndex(std::shared_ptr<const TArchiveSnapshot> archive, std::string startPage);
  // Stops a build under way after the page at hand, without caching anything, so that a closing
  // program does not wait for the whole document to be indexed.
  ~TBackgroundIndex();
  TBackgroundIndex(const TBackgroundIndex&) = delete;
  TBackgroundIndex& operator=(const TBackgroundIndex&) = delete;

  // Thread-safe.
  TState State();

 private:
  void Run();

  std::shared_ptr<const TArchiveSnapshot> archive_;
  std::string startPage_;
  std::mutex lock_;
  TState state_;
  std::atomic<int> percent_{0};
  std::atomic<bool> stopping_{false};
  bool started_ = false;
  std::thread worker_;
};

}  // namespace tomelet::search
