// Files replaced at once or not at all, so a reader of the file never finds half of it.
#pragma once

#include <filesystem>
#include <string_view>

namespace tomelet {

// Writes text to a new file beside path and renames it over path, creating the folder first.
// Returns false when the file could not be written; path is then left as it was.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view text);

}  // namespace tomelet
