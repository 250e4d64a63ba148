#include "tools/tomelet/EntryPrefetch.h"

#include <algorithm>
#include <cstring>

#include "document/DocumentRequest.h"

namespace tomelet::cli {
namespace {

// How much inflated contents may wait for the writer; one entry per lane may always wait,
// whatever its size.
constexpr std::int64_t kMostHeldAhead = std::int64_t{32} << 20;
constexpr std::size_t kMostLanes = 4;

class TInflatedEntry final : public TEntryReader {
 public:
  TInflatedEntry(std::unique_ptr<std::byte[]> bytes, std::size_t size)
      : bytes_(std::move(bytes)), size_(size) {}

  std::size_t Read(std::span<std::byte> buffer) override {
    const std::size_t count = std::min(buffer.size(), size_ - done_);
    std::memcpy(buffer.data(), bytes_.get() + done_, count);
    done_ += count;
    return count;
  }

 private:
  std::unique_ptr<std::byte[]> bytes_;
  std::size_t size_;
  std::size_t done_ = 0;
};

// A read may give fewer bytes than asked. The last read, even of an empty entry, checks the
// stream's end and the CRC.
void ReadFully(TEntryReader& contents, std::span<std::byte> buffer) {
  std::size_t done = 0;
  do {
    const std::size_t got = contents.Read(buffer.subspan(done));
    if (got == 0) {
      return;
    }
    done += got;
  } while (done < buffer.size());
}

}  // namespace

TEntryPrefetch::TEntryPrefetch(const TDocument& document, std::vector<int> indices)
    : document_(document),
      indices_(std::move(indices)),
      ready_(std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, kMostLanes)) {
  for (std::size_t lane = 0; lane < ready_.size(); ++lane) {
    workers_.emplace_back([this, lane](const std::stop_token& stop) { Run(stop, lane); });
  }
}

TEntryPrefetch::~TEntryPrefetch() {
  for (auto& worker : workers_) {
    worker.request_stop();
  }
  changed_.notify_all();
}

std::unique_ptr<TEntryReader> TEntryPrefetch::Next() {
  std::unique_lock lock(mutex_);
  auto& lane = ready_[taken_ % ready_.size()];
  changed_.wait(lock, [&lane] { return !lane.empty(); });
  Item item = std::move(lane.front());
  lane.pop_front();
  ++taken_;
  heldBytes_ -= item.heldBytes;
  lock.unlock();
  changed_.notify_all();
  if (item.error) {
    std::rethrow_exception(item.error);
  }
  return std::move(item.contents);
}

void TEntryPrefetch::Run(const std::stop_token& stop, std::size_t lane) {
  for (std::size_t i = lane; i < indices_.size(); i += ready_.size()) {
    // A damaged entry does not end the lane: verify goes on to name every damaged entry, and
    // extract stops this object at its first error anyway.
    if (!Push(lane, Read(indices_[i]), stop)) {
      return;
    }
  }
}

TEntryPrefetch::Item TEntryPrefetch::Read(int index) const {
  Item item;
  try {
    const std::int64_t size = document_.Entry(index).Size;
    item.contents = document_.OpenContents(index);
    // Larger ones flow through in pieces, so memory never follows a size a record only claims.
    if (size <= kLargestHeldEntry) {
      const auto length = static_cast<std::size_t>(size);
      auto bytes = std::make_unique_for_overwrite<std::byte[]>(length);
      ReadFully(*item.contents, std::span(bytes.get(), length));
      item.contents = std::make_unique<TInflatedEntry>(std::move(bytes), length);
      item.heldBytes = static_cast<std::int64_t>(length);
    }
  } catch (...) {
    item.error = std::current_exception();
  }
  return item;
}

bool TEntryPrefetch::Push(std::size_t lane, Item item, const std::stop_token& stop) {
  std::unique_lock lock(mutex_);
  auto& queue = ready_[lane];
  // A lane whose queue is empty may always add, so the entry the writer waits for always comes.
  const bool room = changed_.wait(lock, stop, [this, &queue, &item] {
    return queue.empty() || heldBytes_ + item.heldBytes <= kMostHeldAhead;
  });
  if (!room) {
    return false;
  }
  heldBytes_ += item.heldBytes;
  queue.push_back(std::move(item));
  lock.unlock();
  changed_.notify_all();
  return true;
}

}  // namespace tomelet::cli
