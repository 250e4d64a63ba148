// Places inside large deflated entries where inflation can resume: the inflater's state with its
// window, taken every few MiB while an entry is read through and kept under a memory budget, so
// that a range near the end of a large entry costs about what the range costs, not the entry.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace tomelet {

struct TSeekPoint {
  std::int64_t Output = 0;  // contents bytes produced before this point
  std::int64_t Input = 0;   // absolute file offset of the first stream byte not yet consumed
  std::shared_ptr<const z_stream> State;
};

// Inflates one zlib stream lying in a file region, from its start or from a seek point.
// Raises EZDecompressionError with zlib's text for damaged data.
class TResumableInflater {
 public:
  using TReadAt = std::function<std::size_t(std::int64_t offset, std::span<std::byte> buffer)>;
  TResumableInflater(TReadAt readAt, std::int64_t begin, std::int64_t end);
  ~TResumableInflater();
  TResumableInflater(const TResumableInflater&) = delete;
  TResumableInflater& operator=(const TResumableInflater&) = delete;

  void ResumeAt(const TSeekPoint& point);
  // Up to buffer.size() bytes; 0 at the end of the stream or of the region.
  std::size_t Read(std::span<std::byte> buffer);
  std::int64_t Output() const { return output_; }
  TSeekPoint Mark() const;

 private:
  TReadAt readAt_;
  std::int64_t end_;
  std::int64_t input_;  // file offset of input_buffer_[0]
  std::vector<std::byte> buffer_;
  z_stream stream_{};
  std::int64_t output_ = 0;
  bool finished_ = false;
};

// The seek points of every entry of one document, shared by all its readers.
class TSeekPoints {
 public:
  static constexpr std::int64_t kSpacing = std::int64_t{4} << 20;
  static constexpr std::int64_t kSmallestEntry = std::int64_t{16} << 20;

  // The last point of the entry at or before output, if any.
  std::optional<TSeekPoint> Before(int entry, std::int64_t output) const;
  // Records a point beyond the entry's last one; ignored once the budget is spent.
  void Add(int entry, TSeekPoint point);

 private:
  static constexpr std::size_t kBudget = std::size_t{64} << 20;
  static constexpr std::size_t kPointCost = 48 << 10;
  mutable std::mutex mutex_;
  std::unordered_map<int, std::vector<TSeekPoint>> points_;
  std::size_t used_ = 0;
};

}  // namespace tomelet
