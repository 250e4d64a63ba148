// Files the program keeps for itself, read and written whole: replaced at once or not at all, so a
// reader of the file never finds half of it, and read only up to a size fit to hold.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tomelet {

// Writes text to a new file beside path and renames it over path, creating the folder first.
// Returns false when the file could not be written; path is then left as it was.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view text);

// The whole file, when it holds at most limit bytes; none when it is larger, missing or cannot be
// read. Never throws but for memory.
std::optional<std::string> ReadSmallFile(const std::filesystem::path& path, std::uintmax_t limit);

}  // namespace tomelet
