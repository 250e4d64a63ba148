// Shared helpers of the archive tests: a private temporary folder, files from bytes, and an
// encoder of trailers and records written independently of the production code.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
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

inline void PutLE(Bytes& out, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) {
    out.push_back(static_cast<std::byte>((value >> (8 * i)) & 0xFF));
  }
}

inline void PutShortString(Bytes& out, std::string_view text) {
  out.push_back(static_cast<std::byte>(text.size()));
  const auto bytes = AsBytes(text);
  out.insert(out.end(), bytes.begin(), bytes.end());
  out.resize(out.size() + 255 - text.size());
}

// A 550-byte version 2 record (532-byte version 1 when v1 is set).
inline Bytes Record(std::string_view name, std::string_view path, std::int64_t original,
                    std::int64_t offset, std::uint32_t crc, std::uint8_t method,
                    std::int64_t compressed = 0, std::int64_t decrypt = 0, bool v1 = false) {
  Bytes out;
  PutShortString(out, name);
  PutShortString(out, path);
  const int width = v1 ? 4 : 8;
  PutLE(out, static_cast<std::uint64_t>(original), width);
  PutLE(out, static_cast<std::uint64_t>(compressed), width);
  if (!v1) {
    PutLE(out, static_cast<std::uint64_t>(decrypt), 8);
  }
  PutLE(out, static_cast<std::uint64_t>(offset), width);
  PutLE(out, crc, 4);
  out.push_back(static_cast<std::byte>(method));
  out.push_back(std::byte{0});
  if (v1) {
    out.resize(out.size() + 2);
  }
  return out;
}

inline Bytes Trailer(std::uint32_t crc, std::int32_t count, std::int32_t version,
                     std::int32_t registrySize, std::int64_t dataSize, bool compressed) {
  Bytes out;
  PutLE(out, crc, 4);
  PutLE(out, static_cast<std::uint32_t>(count), 4);
  PutLE(out, static_cast<std::uint32_t>(version), 4);
  PutLE(out, static_cast<std::uint32_t>(registrySize), 4);
  PutLE(out, static_cast<std::uint64_t>(dataSize), version == 1 ? 4 : 8);
  out.push_back(static_cast<std::byte>(compressed ? 1 : 0));
  out.resize(out.size() + (version == 1 ? 15 : 11));
  return out;
}

inline Bytes Deflated(const Bytes& plain) {
  uLongf length = compressBound(static_cast<uLong>(plain.size()));
  Bytes out(length);
  compress(reinterpret_cast<Bytef*>(out.data()), &length,
           reinterpret_cast<const Bytef*>(plain.data()), static_cast<uLong>(plain.size()));
  out.resize(length);
  return out;
}

inline std::uint32_t Crc(const Bytes& bytes) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

// Deterministic text of the given size that deflates well but not trivially.
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
    std::ofstream(PathOf(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return PathOf(name);
  }
  std::string WriteArchive(const TZLBArchiveWriter& writer, const std::string& name = "doc.tlt") {
    writer.WriteFile(PathOf(name));
    return PathOf(name);
  }
  // Message of the exception that fn raises, or "" when it raises none.
  template <typename Fn>
  static std::string MessageOf(Fn&& fn) {
    try {
      fn();
    } catch (const std::exception& error) {
      return error.what();
    }
    return "";
  }

  std::filesystem::path dir_;
  TZLBArc2 arc_;
};

}  // namespace tomelet::test
