#include "ZLIBArchive2/EntryDeflater.h"

#include "ZLIBArchive2/Codec.h"

namespace tomelet::deflater {
namespace {

int DeflateLevel(TFileCompressionLevel level) {
  switch (level) {
    case fcFastest:
      return codec::kFastest;
    case fcMaximum:
      return codec::kSmallest;
    default:
      return codec::kUsual;
  }
}

}  // namespace

TPackedEntry PackEntry(std::span<const std::byte> contents, TFileCompressionLevel level) {
  TPackedEntry packed;
  packed.CRC = codec::Crc32(contents);
  if (level != fcNone && contents.size() > 1) {
    // Room for one byte less than the contents: a stream that does not fit is not worth keeping.
    packed.Data = codec::Deflate(contents, DeflateLevel(level), contents.size() - 1);
    if (!packed.Data.empty()) {
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
