// The archive format's bytes written independently of the production code, for checking the
// writer and for crafting what no sound writer makes: records, trailers, zlib streams, CRCs, and
// contents that deflate well or not at all.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tomelet::testing {

using Bytes = std::vector<std::byte>;

Bytes ToBytes(std::string_view text);
std::string Text(std::span<const std::byte> bytes);
Bytes Concat(std::initializer_list<Bytes> parts);

// A 550-byte version 2 record, or a 532-byte version 1 record.
Bytes Record(std::string_view name, std::string_view path, std::int64_t original,
             std::int64_t offset, std::uint32_t crc, int method, std::int64_t compressed = 0,
             bool v1 = false);
// The 36-byte trailer.
Bytes Trailer(std::int32_t count, std::int32_t version, std::int32_t registrySize,
              std::int64_t dataSize, bool compressed, std::uint32_t crc = 0);

// A zlib stream of plain.
Bytes Deflated(const Bytes& plain, int level = Z_DEFAULT_COMPRESSION);
std::string Deflated(std::string_view plain, int level = Z_DEFAULT_COMPRESSION);
// Inflates a whole zlib stream; throws std::runtime_error for anything else.
std::string Inflate(std::string_view zlibStream);
std::uint32_t Crc(std::span<const std::byte> bytes);
std::uint32_t Crc(std::string_view bytes);

// Deterministic text that deflates well but not trivially.
std::string SampleText(std::size_t size, unsigned seed = 1);
// A small HTML page with repeat lines, which deflates well.
std::string PageText(std::string_view title, std::size_t repeat);
// Bytes that do not deflate, so the writer stores them.
std::string NoiseBytes(std::size_t size, unsigned seed);

}  // namespace tomelet::testing
