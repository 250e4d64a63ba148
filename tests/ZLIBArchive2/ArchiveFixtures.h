// Helpers of the archive tests: a private temporary folder per test, and an encoder of records
// and trailers written independently of the production code.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ZLIBArchive2/ZLIBArchive2.h"
#include "ZLIBArchive2/ZLIBArchiveWriter.h"

namespace tomelet::test {

using Bytes = std::vector<std::byte>;

inline Bytes ToBytes(std::string_view text) {
  const auto view = AsBytes(text);
  return {view.begin(), view.end()};
}
inline std::string Text(std::span<const std::byte> b) {
  return {reinterpret_cast<const char*>(b.data()), b.size()};
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

inline void PutLE(Bytes& out, std::int64_t value, int width) {
  for (int i = 0; i < width; ++i) {
    out.push_back(static_cast<std::byte>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF));
  }
}

inline void PutShortString(Bytes& out, std::string_view text) {
  out.push_back(static_cast<std::byte>(text.size()));
  out.resize(out.size() + 255);
  std::copy(text.begin(), text.end(), reinterpret_cast<char*>(&out[out.size() - 255]));
}

// A 550-byte version 2 record, or a 532-byte version 1 record.
inline Bytes Record(std::string_view name, std::string_view path, std::int64_t original,
                    std::int64_t offset, std::uint32_t crc, int method, std::int64_t compressed = 0,
                    bool v1 = false) {
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

inline Bytes Trailer(std::int32_t count, std::int32_t version, std::int32_t registrySize,
                     std::int64_t dataSize, bool compressed, std::uint32_t crc = 0) {
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

inline Bytes Deflated(const Bytes& plain, int level = Z_DEFAULT_COMPRESSION) {
  uLongf length = compressBound(static_cast<uLong>(plain.size()));
  Bytes out(length);
  compress2(reinterpret_cast<Bytef*>(out.data()), &length,
            reinterpret_cast<const Bytef*>(plain.data()), static_cast<uLong>(plain.size()), level);
  out.resize(length);
  return out;
}

inline std::uint32_t Crc(const Bytes& bytes) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// Deterministic text that deflates well but not trivially.
inline std::string SampleText(std::size_t size, unsigned seed = 1) {
  std::string text;
  for (unsigned i = 0; text.size() < size; ++i) {
    text += "line " + std::to_string((i * 7919U + seed) % 1000) + " of the sample;\n";
  }
  text.resize(size);
  return text;
}

class ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "archive-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }
  std::string WriteBytes(const std::string& name, const Bytes& bytes) const {
    TFileStream(PathOf(name), TFileStream::Mode::Create).Write(bytes);
    return PathOf(name);
  }
  std::string WriteArchive(const TZLBArchiveWriter& writer, const std::string& name = "doc.tlt") {
    writer.WriteFile(PathOf(name));
    return PathOf(name);
  }
  // The message that fn raises, or "" when it raises nothing.
  template <typename Fn>
  static std::string MessageOf(Fn&& fn) {
    try {
      fn();
    } catch (const std::exception& error) {
      return error.what();
    }
    return "";
  }
  std::string Extract(const std::string& name) {
    TMemoryStream dest;
    arc_.ExtractToStream(dest, name);
    return std::string(dest.View());
  }
  void RecordProgress() {
    arc_.OnProgress = [this](const std::string& msg, int percentage) {
      progress_.push_back(msg + "@" + std::to_string(percentage));
    };
  }

  std::filesystem::path dir_;
  TZLBArc2 arc_;
  std::vector<std::string> progress_;
};

}  // namespace tomelet::test
