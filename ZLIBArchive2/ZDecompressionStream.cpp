#include "ZLIBArchive2/ZDecompressionStream.h"

#include <string>

namespace tomelet {

namespace {

std::string ZlibMessage(const z_stream& stream, int code) {
  return stream.msg != nullptr ? stream.msg : zError(code);
}

}  // namespace

TZDecompressionStream::TZDecompressionStream(TStream& source)
    : source_(source), sourcePosition_(source.Position()), input_(kInputBlock) {
  const int code = inflateInit(&zstream_);
  if (code != Z_OK) {
    throw EZDecompressionError(ZlibMessage(zstream_, code));
  }
}

TZDecompressionStream::~TZDecompressionStream() {
  inflateEnd(&zstream_);
}

bool TZDecompressionStream::RefillInput() {
  const std::size_t got = source_.Read(input_);
  sourcePosition_ += static_cast<std::int64_t>(got);
  zstream_.next_in = reinterpret_cast<Bytef*>(input_.data());
  zstream_.avail_in = static_cast<uInt>(got);
  return got > 0;
}

void TZDecompressionStream::ReturnUnusedInput() {
  if (zstream_.avail_in > 0) {
    sourcePosition_ -= zstream_.avail_in;
    source_.SetPosition(sourcePosition_);
    zstream_.avail_in = 0;
  }
}

std::size_t TZDecompressionStream::Read(std::span<std::byte> buffer) {
  // Other readers may share the source; our place in it is the one we remember.
  if (source_.Position() != sourcePosition_) {
    source_.SetPosition(sourcePosition_);
  }
  zstream_.next_out = reinterpret_cast<Bytef*>(buffer.data());
  zstream_.avail_out = static_cast<uInt>(buffer.size());
  while (zstream_.avail_out > 0 && !finished_) {
    if (zstream_.avail_in == 0 && !RefillInput()) {
      break;
    }
    const int code = inflate(&zstream_, Z_NO_FLUSH);
    if (code == Z_STREAM_END) {
      finished_ = true;
      ReturnUnusedInput();
    } else if (code != Z_OK && code != Z_BUF_ERROR) {
      throw EZDecompressionError(ZlibMessage(zstream_, code));
    }
  }
  return buffer.size() - zstream_.avail_out;
}

}  // namespace tomelet
