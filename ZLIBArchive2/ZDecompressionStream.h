// zlib inflation: over a region of a file read with positioned reads, resumable from a point
// taken earlier; and over a stream, for compressed registries and entries read in chunks. Both
// are the same inflater, so every reader of an entry accepts and refuses the same streams.
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
