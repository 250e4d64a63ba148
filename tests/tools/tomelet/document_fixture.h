// Small documents built with the archive writer for the command tests.
#pragma once

#include <filesystem>
#include <string>

#include "ZLIBArchive2/ZLIBArchiveWriter.h"

namespace tomelet::testing {

// A deflated page, a stored binary entry with NUL bytes, a page in a folder, a name in
// Windows-1252, and a "-config-" record.
TZLBArchiveWriter SampleWriter();
inline const std::string kBinaryContents = std::string("\x89PNG\0\0\x01\x02", 8);
inline const std::string kPageContents =
    "<html><head><title>Home</title></head><body>" + std::string(2000, 'x') + "</body></html>";

// Reads a byte of file at offset from the end (negative) or start, and writes it back changed.
void PatchByte(const std::filesystem::path& file, std::int64_t offset, unsigned char value);

// Inverts count bytes of file from offset on, as damage on a disk would.
void FlipBytes(const std::filesystem::path& file, std::int64_t offset, int count);

// A little-endian 32-bit field of the trailer, at its offset inside the last 36 bytes.
std::int32_t TrailerInt32(const std::filesystem::path& file, std::size_t offset);

}  // namespace tomelet::testing
