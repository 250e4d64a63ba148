// Streaming zlib inflation over a source stream, used for compressed registries and for
// entries whose progress is reported chunk by chunk.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
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

class TZDecompressionStream {
 public:
  // Starts at the source's current position.
  explicit TZDecompressionStream(TStream& source);
  ~TZDecompressionStream();
  TZDecompressionStream(const TZDecompressionStream&) = delete;
  TZDecompressionStream& operator=(const TZDecompressionStream&) = delete;

  // Produces up to buffer.size() bytes; fewer only when the zlib stream or the source ends.
  std::size_t Read(std::span<std::byte> buffer);
  // True once the zlib stream has ended (its Adler-32 checked).
  bool Finished() const { return finished_; }

 private:
  bool RefillInput();
  void ReturnUnusedInput();

  static constexpr std::size_t kInputBlock = 65536;
  TStream& source_;
  std::int64_t sourcePosition_;
  std::vector<std::byte> input_;
  z_stream zstream_{};
  bool finished_ = false;
};

}  // namespace tomelet
