#include "ZLIBArchive2/ZDecompressionStream.h"

#include <algorithm>
#include <string>

namespace tomelet {

namespace {

constexpr std::size_t kInputBlock = 65536;

[[noreturn]] void RaiseZlib(const z_stream& stream, int code) {
  throw EZDecompressionError(stream.msg != nullptr ? stream.msg : zError(code));
}

struct StateDeleter {
  void operator()(z_stream* stream) const {
    inflateEnd(stream);
    delete stream;
  }
};

}  // namespace

TResumableInflater::TResumableInflater(TReadAt readAt, std::int64_t begin, std::int64_t end)
    : readAt_(std::move(readAt)), end_(end), input_(begin), buffer_(kInputBlock) {
  if (const int code = inflateInit(&stream_); code != Z_OK) {
    RaiseZlib(stream_, code);
  }
}

TResumableInflater::~TResumableInflater() {
  inflateEnd(&stream_);
}

void TResumableInflater::ResumeAt(const TSeekPoint& point) {
  inflateEnd(&stream_);
  stream_ = {};
  if (const int code = inflateCopy(&stream_, const_cast<z_stream*>(point.State.get()));
      code != Z_OK) {
    RaiseZlib(stream_, code);
  }
  stream_.next_in = nullptr;
  stream_.avail_in = 0;
  input_ = point.Input;
  output_ = point.Output;
  finished_ = false;
}

std::int64_t TResumableInflater::Consumed() const {
  return input_ - static_cast<std::int64_t>(stream_.avail_in);
}

TSeekPoint TResumableInflater::Mark() const {
  std::unique_ptr<z_stream, StateDeleter> copy(new z_stream{});
  if (const int code = inflateCopy(copy.get(), const_cast<z_stream*>(&stream_)); code != Z_OK) {
    delete copy.release();
    RaiseZlib(stream_, code);
  }
  copy->next_in = nullptr;
  copy->avail_in = 0;
  return {output_, Consumed(), std::shared_ptr<const z_stream>(copy.release(), StateDeleter())};
}

std::size_t TResumableInflater::Read(std::span<std::byte> buffer) {
  stream_.next_out = reinterpret_cast<Bytef*>(buffer.data());
  stream_.avail_out = static_cast<uInt>(buffer.size());
  while (stream_.avail_out > 0 && !finished_) {
    if (stream_.avail_in == 0) {
      const auto want = static_cast<std::size_t>(
          std::min<std::int64_t>(static_cast<std::int64_t>(buffer_.size()), end_ - input_));
      const std::size_t got = want == 0 ? 0 : readAt_(input_, std::span(buffer_).first(want));
      if (got == 0) {
        break;
      }
      input_ += static_cast<std::int64_t>(got);
      stream_.next_in = reinterpret_cast<Bytef*>(buffer_.data());
      stream_.avail_in = static_cast<uInt>(got);
    }
    const int code = inflate(&stream_, Z_NO_FLUSH);
    if (code == Z_STREAM_END) {
      finished_ = true;
    } else if (code != Z_OK && code != Z_BUF_ERROR) {
      RaiseZlib(stream_, code);
    }
  }
  const std::size_t produced = buffer.size() - stream_.avail_out;
  output_ += static_cast<std::int64_t>(produced);
  return produced;
}

TZDecompressionStream::TZDecompressionStream(TStream& source)
    : source_(source),
      inflater_(
          [&source](std::int64_t offset, std::span<std::byte> buffer) {
            source.SetPosition(offset);
            return source.Read(buffer);
          },
          source.Position(), source.Size()) {}

std::size_t TZDecompressionStream::Read(std::span<std::byte> buffer) {
  const std::size_t got = inflater_.Read(buffer);
  if (inflater_.Finished()) {
    source_.SetPosition(inflater_.Consumed());
  }
  return got;
}

}  // namespace tomelet
