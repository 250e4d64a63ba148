// Deflating entries for the writer: one entry at a time, or on worker threads whose results are
// taken back in the order the entries were given, so the archive's bytes never depend on how many
// threads did the work.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "ZLIBArchive2/ZLIBArchive2.h"

namespace tomelet::deflater {

struct TPackedEntry {
  std::uint32_t CRC = 0;
  bool Deflated = false;  // false: Data is the contents as given
  std::vector<std::byte> Data;
};

// The zlib stream of contents at the level, or the contents themselves when deflating would not
// make them smaller. Safe to call from several threads at once. Throws std::bad_alloc when no
// compressor can be made.
TPackedEntry PackEntry(std::span<const std::byte> contents, TFileCompressionLevel level);

// Runs PackEntry jobs on a fixed set of threads; each job's result is a future the caller waits
// for in its own order.
class TDeflateWorkers {
 public:
  explicit TDeflateWorkers(unsigned threads);
  ~TDeflateWorkers();
  TDeflateWorkers(const TDeflateWorkers&) = delete;
  TDeflateWorkers& operator=(const TDeflateWorkers&) = delete;

  std::future<TPackedEntry> Submit(std::vector<std::byte> contents, TFileCompressionLevel level);

 private:
  void Work();

  std::mutex lock_;
  std::condition_variable queued_;
  std::deque<std::packaged_task<TPackedEntry()>> jobs_;
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace tomelet::deflater
