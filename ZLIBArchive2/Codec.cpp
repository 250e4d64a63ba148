#include "ZLIBArchive2/Codec.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <new>
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

struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// A compressor holds large tables and is not shared between threads; each thread keeps one per
// level it has used.
libdeflate_compressor& ThreadCompressor(int level) {
  thread_local std::array<std::unique_ptr<libdeflate_compressor, CompressorDeleter>,
                          codec::kSmallest + 1>
      kept;
  auto& compressor = kept.at(static_cast<std::size_t>(level));
  if (!compressor) {
    compressor.reset(libdeflate_alloc_compressor(level));
    if (!compressor) {
      throw std::bad_alloc();
    }
  }
  return *compressor;
}

libdeflate_decompressor& ThreadDecompressor() {
  thread_local const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> kept(
      libdeflate_alloc_decompressor());
  if (!kept) {
    throw std::bad_alloc();
  }
  return *kept;
}

}  // namespace

namespace codec {

std::uint32_t Crc32(std::span<const std::byte> bytes, std::uint32_t crc) {
  // Given no buffer (an empty vector's), libdeflate answers the starting value, not crc.
  if (bytes.empty()) {
    return crc;
  }
  return libdeflate_crc32(crc, bytes.data(), bytes.size());
}

std::vector<std::byte> Deflate(std::span<const std::byte> bytes, int level, std::size_t limit) {
  libdeflate_compressor& compressor = ThreadCompressor(level);
  std::vector<std::byte> stream(
      std::min(limit, libdeflate_zlib_compress_bound(&compressor, bytes.size())));
  const std::size_t size = libdeflate_zlib_compress(&compressor, bytes.data(), bytes.size(),
                                                    stream.data(), stream.size());
  stream.resize(size);
  return stream;
}

bool InflateExactly(std::span<const std::byte> stream, std::span<std::byte> out) {
  return libdeflate_zlib_decompress(&ThreadDecompressor(), stream.data(), stream.size(), out.data(),
                                    out.size(), nullptr) == LIBDEFLATE_SUCCESS;
}

}  // namespace codec

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
