#include "ZLIBArchive2/EntryReaders.h"

#include <algorithm>
#include <vector>

#include "ZLIBArchive2/EntryChecks.h"

namespace tomelet {

namespace {

constexpr std::size_t kSkipPiece = 65536;

class TStoredReader final : public TEntryReader {
 public:
  TStoredReader(TReadAt readAt, std::int64_t begin, std::int64_t length)
      : readAt_(std::move(readAt)), begin_(begin), length_(length) {}

  std::size_t Read(std::span<std::byte> buffer) override {
    const auto left = static_cast<std::size_t>(length_ - done_);
    const auto piece = buffer.first(std::min(buffer.size(), left));
    const std::size_t got = piece.empty() ? 0 : readAt_(begin_ + done_, piece);
    if (got < piece.size()) {
      RaiseCorrupted();
    }
    done_ += static_cast<std::int64_t>(got);
    return got;
  }

 private:
  TReadAt readAt_;
  std::int64_t begin_;
  std::int64_t length_;
  std::int64_t done_ = 0;
};

class TInflatingReader final : public TEntryReader {
 public:
  TInflatingReader(TReadAt readAt, std::int64_t begin, std::int64_t end, std::int64_t size,
                   std::int64_t from, TInflationTrack track)
      : inflater_(std::move(readAt), begin, end), track_(track), remaining_(size - from) {
    if (size < TSeekPoints::kSmallestEntry) {
      track_.Points = nullptr;
    }
    if (track_.Points != nullptr) {
      if (const auto point = track_.Points->Before(track_.Index, from)) {
        inflater_.ResumeAt(*point);
      }
    }
    std::vector<std::byte> skipped(kSkipPiece);
    while (inflater_.Output() < from) {
      const auto want =
          static_cast<std::size_t>(std::min<std::int64_t>(from - inflater_.Output(), kSkipPiece));
      Inflate(std::span(skipped).first(want));
    }
  }

  std::size_t Read(std::span<std::byte> buffer) override {
    if (remaining_ == 0) {
      return 0;
    }
    const auto piece = buffer.first(std::min(buffer.size(), static_cast<std::size_t>(remaining_)));
    const std::size_t got = Inflate(piece);
    remaining_ -= static_cast<std::int64_t>(got);
    if (remaining_ == 0 && track_.GoesOn != nullptr && !StreamEndsHere(inflater_)) {
      track_.GoesOn->store(true, std::memory_order_relaxed);
    }
    return got;
  }

 private:
  std::size_t Inflate(std::span<std::byte> piece) {
    std::size_t got = 0;
    try {
      got = inflater_.Read(piece);
    } catch (const EZDecompressionError&) {
      RaiseCorrupted();
    }
    if (got == 0) {
      RaiseCorrupted();
    }
    if (track_.Inflated != nullptr) {
      track_.Inflated->fetch_add(static_cast<std::int64_t>(got), std::memory_order_relaxed);
    }
    if (track_.Points != nullptr && inflater_.Output() >= nextMark_) {
      track_.Points->Add(track_.Index, inflater_.Mark());
      nextMark_ = inflater_.Output() + TSeekPoints::kSpacing;
    }
    return got;
  }

  TResumableInflater inflater_;
  TInflationTrack track_;
  std::int64_t remaining_;
  std::int64_t nextMark_ = TSeekPoints::kSpacing;
};

}  // namespace

std::unique_ptr<TEntryReader> StoredContents(TReadAt readAt, std::int64_t begin,
                                             std::int64_t length) {
  return std::make_unique<TStoredReader>(std::move(readAt), begin, length);
}

std::unique_ptr<TEntryReader> InflatedContents(TReadAt readAt, std::int64_t begin, std::int64_t end,
                                               std::int64_t size, std::int64_t from,
                                               TInflationTrack track) {
  return std::make_unique<TInflatingReader>(std::move(readAt), begin, end, size, from, track);
}

}  // namespace tomelet
