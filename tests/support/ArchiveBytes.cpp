#include "tests/support/ArchiveBytes.h"

#include <algorithm>
#include <random>
#include <stdexcept>

namespace tomelet::testing {
namespace {

void PutLE(Bytes& out, std::int64_t value, int width) {
  for (int i = 0; i < width; ++i) {
    out.push_back(static_cast<std::byte>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF));
  }
}

void PutShortString(Bytes& out, std::string_view text) {
  out.push_back(static_cast<std::byte>(text.size()));
  out.resize(out.size() + 255);
  std::copy(text.begin(), text.end(), reinterpret_cast<char*>(&out[out.size() - 255]));
}

}  // namespace

Bytes ToBytes(std::string_view text) {
  const auto* first = reinterpret_cast<const std::byte*>(text.data());
  return {first, first + text.size()};
}

std::string Text(std::span<const std::byte> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

Bytes Record(std::string_view name, std::string_view path, std::int64_t original,
             std::int64_t offset, std::uint32_t crc, int method, std::int64_t compressed, bool v1) {
  Bytes out;
  PutShortString(out, name);
  PutShortString(out, path);
  const int width = v1 ? 4 : 8;
  PutLE(out, original, width);
  PutLE(out, compressed, width);
  if (!v1) {
    PutLE(out, 0, 8);  // DecryptSize
  }
  PutLE(out, offset, width);
  PutLE(out, crc, 4);
  PutLE(out, method, 1);
  out.resize(out.size() + (v1 ? 3 : 1));
  return out;
}

Bytes Trailer(std::int32_t count, std::int32_t version, std::int32_t registrySize,
              std::int64_t dataSize, bool compressed, std::uint32_t crc) {
  Bytes out;
  for (const std::int64_t field : {std::int64_t{crc}, std::int64_t{count}, std::int64_t{version},
                                   std::int64_t{registrySize}}) {
    PutLE(out, field, 4);
  }
  PutLE(out, dataSize, version == 1 ? 4 : 8);
  PutLE(out, compressed ? 1 : 0, 1);
  out.resize(36);
  return out;
}

Bytes Deflated(const Bytes& plain, int level) {
  return ToBytes(Deflated(Text(plain), level));
}

std::string Deflated(std::string_view plain, int level) {
  uLongf length = compressBound(static_cast<uLong>(plain.size()));
  std::string out(length, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &length,
            reinterpret_cast<const Bytef*>(plain.data()), static_cast<uLong>(plain.size()), level);
  out.resize(length);
  return out;
}

std::string Inflate(std::string_view zlibStream) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) {
    throw std::runtime_error("inflateInit");
  }
  std::string out;
  std::string piece(65536, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zlibStream.data()));
  stream.avail_in = static_cast<uInt>(zlibStream.size());
  int code = Z_OK;
  while (code == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(piece.data());
    stream.avail_out = static_cast<uInt>(piece.size());
    code = inflate(&stream, Z_NO_FLUSH);
    out.append(piece.data(), piece.size() - stream.avail_out);
  }
  inflateEnd(&stream);
  if (code != Z_STREAM_END) {
    throw std::runtime_error("not a complete zlib stream");
  }
  return out;
}

std::uint32_t Crc(std::span<const std::byte> bytes) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::uint32_t Crc(std::string_view bytes) {
  return Crc(std::as_bytes(std::span(bytes.data(), bytes.size())));
}

std::string SampleText(std::size_t size, unsigned seed) {
  std::string text;
  for (unsigned i = 0; text.size() < size; ++i) {
    text += "line " + std::to_string((i * 7919U + seed) % 1000) + " of the sample;\n";
  }
  text.resize(size);
  return text;
}

std::string PageText(std::string_view title, std::size_t repeat) {
  std::string page =
      "<!DOCTYPE html><html><head><title>" + std::string(title) + "</title></head><body>\n";
  for (std::size_t i = 0; i < repeat; ++i) {
    page += "<p>Line " + std::to_string(i) + " of " + std::string(title) + ".</p>\n";
  }
  return page + "</body></html>\n";
}

std::string NoiseBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    c = static_cast<char>(random() & 0xFF);
  }
  return bytes;
}

}  // namespace tomelet::testing
