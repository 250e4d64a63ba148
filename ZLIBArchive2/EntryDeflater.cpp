#include "ZLIBArchive2/EntryDeflater.h"

#include <libdeflate.h>

#include <array>
#include <memory>
#include <new>

namespace tomelet::deflater {
namespace {

// libdeflate's levels for ours: its level 6 makes smaller streams than zlib's default in about
// a third of the time.
int DeflateLevel(TFileCompressionLevel level) {
  switch (level) {
    case fcFastest:
      return 1;
    case fcMaximum:
      return 12;
    default:
      return 6;
  }
}

struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// A compressor holds large tables and is not shared between threads; each thread keeps one per
// level it has used.
libdeflate_compressor& ThreadCompressor(TFileCompressionLevel level) {
  thread_local std::array<std::unique_ptr<libdeflate_compressor, CompressorDeleter>, 4> kept;
  auto& compressor = kept.at(level);
  if (!compressor) {
    compressor.reset(libdeflate_alloc_compressor(DeflateLevel(level)));
    if (!compressor) {
      throw std::bad_alloc();
    }
  }
  return *compressor;
}

}  // namespace

TPackedEntry PackEntry(std::span<const std::byte> contents, TFileCompressionLevel level) {
  TPackedEntry packed;
  packed.CRC = libdeflate_crc32(0, contents.data(), contents.size());
  if (level != fcNone && contents.size() > 1) {
    // Room for one byte less than the contents: a stream that does not fit is not worth keeping.
    packed.Data.resize(contents.size() - 1);
    const std::size_t size =
        libdeflate_zlib_compress(&ThreadCompressor(level), contents.data(), contents.size(),
                                 packed.Data.data(), packed.Data.size());
    if (size != 0) {
      packed.Data.resize(size);
      packed.Deflated = true;
      return packed;
    }
  }
  packed.Data.assign(contents.begin(), contents.end());
  return packed;
}

TDeflateWorkers::TDeflateWorkers(unsigned threads) {
  for (unsigned i = 0; i < threads; ++i) {
    threads_.emplace_back([this] { Work(); });
  }
}

TDeflateWorkers::~TDeflateWorkers() {
  {
    const std::lock_guard guard(lock_);
    // Jobs nobody has started are for an archive that is being abandoned.
    jobs_.clear();
    closing_ = true;
  }
  queued_.notify_all();
  for (auto& thread : threads_) {
    thread.join();
  }
}

std::future<TPackedEntry> TDeflateWorkers::Submit(std::vector<std::byte> contents,
                                                  TFileCompressionLevel level) {
  std::packaged_task<TPackedEntry()> job(
      [contents = std::move(contents), level] { return PackEntry(contents, level); });
  auto result = job.get_future();
  {
    const std::lock_guard guard(lock_);
    jobs_.push_back(std::move(job));
  }
  queued_.notify_one();
  return result;
}

void TDeflateWorkers::Work() {
  for (;;) {
    std::unique_lock guard(lock_);
    queued_.wait(guard, [this] { return closing_ || !jobs_.empty(); });
    if (jobs_.empty()) {
      return;
    }
    auto job = std::move(jobs_.front());
    jobs_.pop_front();
    guard.unlock();
    job();
  }
}

}  // namespace tomelet::deflater
