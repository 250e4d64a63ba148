// The index of one open document: the one it carries, or one built from its pages on demand
// into the user's cache folder (in the background, with progress, for servers and windows).
#pragma once

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "search/SearchIndex.h"

namespace tomelet {
class TDocument;
}

namespace tomelet::search {

// What a reader is told while the index is built: "Indexing the document for search: 42%".
std::string IndexingMessage(int percent);

// Pages done and pages in all, after each page.
using TIndexProgress = std::function<void(std::size_t done, std::size_t total)>;

// The index of the document's HTML pages; the stemmer follows the lang of startPagePath (an archive
// path, may be empty) unless settings name a language. Pages that cannot be read are left out.
std::vector<std::byte> BuildArchiveIndex(const TDocument& archive, std::string_view startPagePath,
                                         TIndexSettings settings, const TIndexProgress& progress);

// Null when the document carries no index. Throws ESearchIndexError when the entry is damaged
// (deflated, failing its CRC, unreadable as an index) or newer than this version reads.
// The index reads its snippets' text from the document's pages, and keeps the document open.
std::unique_ptr<TSearchIndex> OpenEmbeddedIndex(const std::shared_ptr<const TDocument>& archive);

// True when the document's index holds byte for byte what an index this process found sound
// holds; it is then known as that index's copy (SoundContentOf) without being opened. Never
// throws.
bool IsCopyOfSoundIndex(const TDocument& archive);

// $XDG_CACHE_HOME/tomelet, else ~/.cache/tomelet (UserFolder); without a home, in the temporary
// folder.
std::filesystem::path IndexCacheFolder();
// The cache file for this document's contents; a changed document gets another name.
std::filesystem::path CachedIndexPath(const TDocument& archive, std::string_view startPagePath);

struct TOpenedIndex {
  std::shared_ptr<const TSearchIndex> Index;
  // Why the document's own index was not used, empty when it was or when there was none.
  std::string Refusal;
};

// The embedded index; failing that, the cached one; failing that, builds it now (reporting
// progress) and caches it. Throws ESearchIndexError when no index can be had.
TOpenedIndex OpenDocumentIndex(const std::shared_ptr<const TDocument>& archive,
                               std::string_view startPagePath, const TIndexProgress& progress);

// OpenDocumentIndex on a thread of its own: the first call to State() or OpenedState() starts it
// opening an existing index (embedded or cached, its structure check included) and, when there is
// none, building one, so that State() never waits for the document.
class TBackgroundIndex {
 public:
  struct TState {
    std::shared_ptr<const TSearchIndex> Index;  // null until ready
    int Percent = 0;
    std::string Error;     // why there will be no index
    std::string Refusal;   // as TOpenedIndex
    bool Opening = false;  // the existing index is still being looked for
  };

  // settled, when given, is called on the index's own thread once the index is open, built or
  // known to be impossible, after Working() has turned false.
  TBackgroundIndex(std::shared_ptr<const TDocument> archive, std::string startPagePath,
                   std::function<void()> settled = {});
  // Stops a build under way after the page at hand, without caching anything, so that a closing
  // program does not wait for the whole document to be indexed.
  ~TBackgroundIndex();
  TBackgroundIndex(const TBackgroundIndex&) = delete;
  TBackgroundIndex& operator=(const TBackgroundIndex&) = delete;

  // Thread-safe; never waits.
  TState State();
  // The state once the existing index has been looked for: waits for opening, never for a build.
  // For callers already off any thread that must stay responsive (serve's search pool).
  // Thread-safe.
  TState OpenedState();
  // True while the index is being opened or built: letting it go now would waste that work.
  // Thread-safe; never waits.
  bool Working() const { return working_; }

 private:
  void StartLocked();
  TState StateLocked() const;
  void Run();
  // Opens the embedded or cached index; true when there is one (or no index can be had).
  bool OpenExisting();

  std::shared_ptr<const TDocument> archive_;
  std::string startPagePath_;
  std::function<void()> settled_;
  std::mutex lock_;
  TState state_;
  std::atomic<int> percent_{0};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> working_{false};
  bool started_ = false;
  bool opened_ = false;
  std::condition_variable openedChanged_;
  std::thread worker_;
};

}  // namespace tomelet::search
