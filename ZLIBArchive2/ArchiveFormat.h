// Byte layout of trailers and registry records, shared by the reader and the writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ZLIBArchive2/ZLIBArchive2.h"

namespace tomelet::format {

// Deflate cannot expand a byte of input into more than 1032 bytes of output, so any size claim
// beyond that ratio is impossible rather than merely unusual.
inline constexpr std::int64_t kMaxDeflateRatio = 1032;
inline constexpr std::size_t kShortStringField = 256;

std::size_t RecordSize(int version);

// Reads a trailer; a version 1 trailer is widened, an unknown version is read in the
// version 2 layout so that its number can be reported.
TArchiveTrailer DecodeTrailer(std::span<const std::byte, kTrailerSize> bytes);
void EncodeTrailer(const TArchiveTrailer& trailer, std::span<std::byte, kTrailerSize> out);

TArchiveEntry DecodeRecord(std::span<const std::byte> record, int version);
// Writes one record of RecordSize(version) bytes; throws std::invalid_argument for values that
// the layout cannot hold (long names, 64-bit sizes in version 1).
void EncodeRecord(const TArchiveEntry& entry, int version, std::span<std::byte> out);

}  // namespace tomelet::format
