// The one place bytes are deflated, inflated and checked: the archive's readers, its writer and
// the search index's blocks all use these, so every one of them makes and accepts the same
// streams. Whole buffers go through libdeflate (the faster of the two); a stream read in pieces,
// or resumed from a point taken earlier, goes through zlib, which can copy its state.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

#include "platform/streams/Streams.h"

namespace tomelet {

namespace codec {

// CRC-32 (the polynomial of zlib and of the archive format) of bytes, continuing crc.
std::uint32_t Crc32(std::span<const std::byte> bytes, std::uint32_t crc = 0);

// Levels from kFastest to kSmallest; kUsual makes smaller streams than zlib's default in about a
// third of its time.
inline constexpr int kFastest = 1;
inline constexpr int kUsual = 6;
inline constexpr int kSmallest = 12;

// The zlib stream (RFC 1950) of bytes at the level, or empty when it would take more than limit
// bytes. Safe on any thread: each keeps a compressor per level. Throws std::bad_alloc.
std::vector<std::byte> Deflate(std::span<const std::byte> bytes, int level,
                               std::size_t limit = SIZE_MAX);

// Inflates one whole zlib stream into exactly out.size() bytes. False for damage, a stream that
// gives more or fewer bytes. Safe on any thread.
bool InflateExactly(std::span<const std::byte> stream, std::span<std::byte> out);

}  // namespace codec

// Raised with zlib's own message text; the archive code replaces it with its fixed messages.
class EZDecompressionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

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
  // Up to buffer.size() bytes; fewer only at the end of the stream or of the region.
  std::size_t Read(std::span<std::byte> buffer);
  std::int64_t Output() const { return output_; }
  // True once the zlib stream has ended (its Adler-32 checked).
  bool Finished() const { return finished_; }
  // The file offset of the first byte the stream has not used.
  std::int64_t Consumed() const;
  TSeekPoint Mark() const;

 private:
  TReadAt readAt_;
  std::int64_t end_;
  std::int64_t input_;  // file offset just after the bytes in buffer_
  std::vector<std::byte> buffer_;
  z_stream stream_{};
  std::int64_t output_ = 0;
  bool finished_ = false;
};

// The inflater over a stream, from its current position to its end. The stream may be used by
// others meanwhile; once the zlib stream has ended, it is left just after it.
class TZDecompressionStream {
 public:
  explicit TZDecompressionStream(TStream& source);

  std::size_t Read(std::span<std::byte> buffer);
  bool Finished() const { return inflater_.Finished(); }

 private:
  TStream& source_;
  TResumableInflater inflater_;
};

}  // namespace tomelet
