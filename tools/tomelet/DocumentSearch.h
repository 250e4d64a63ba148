// What `search`, `index`, `pack` and `verify` share about the document's search index.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "search/DocumentIndex.h"

namespace tomelet {
class TArchiveSnapshot;
}

namespace tomelet::cli {

struct PackFile;

// The page the document starts at, as an archive path, named as every front end names it; empty
// without options.
std::string StartPageEntry(const TArchiveSnapshot& archive);

// A builder whose language is the override when given, else the lang of the start page among
// files (startPage as written in the options).
std::unique_ptr<search::TIndexBuilder> MakePackIndexBuilder(const std::vector<PackFile>& files,
                                                            const std::string& startPage,
                                                            const std::string& language);

// Indexes pages on a thread of its own while the caller goes on deflating, so that packing with
// the index costs little more wall time than without it on a machine with two cores.
class TPackIndexer {
 public:
  explicit TPackIndexer(std::unique_ptr<search::TIndexBuilder> builder);
  ~TPackIndexer();
  TPackIndexer(const TPackIndexer&) = delete;
  TPackIndexer& operator=(const TPackIndexer&) = delete;

  // Waits while many pages are queued, so memory stays bounded.
  void Add(std::string archivePath, std::vector<std::byte> html);
  // Rethrows what the builder threw.
  std::vector<std::byte> Finish();

 private:
  void Work();

  std::unique_ptr<search::TIndexBuilder> builder_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::pair<std::string, std::vector<std::byte>>> queue_;
  bool closed_ = false;
  std::exception_ptr failure_;
  std::thread worker_;
};

// A progress line on stderr while a document is indexed, shown only on a terminal.
search::TIndexProgress IndexingProgress();

}  // namespace tomelet::cli
