// The document files behind a served path: the path itself when it names a file, else the
// documents of the folder.
#pragma once

#include <filesystem>
#include <vector>

#include "library/Library.h"

namespace tomelet::library {

// Adds what is behind path to found: a file as it is, a folder's documents (its subfolders' too
// when recursive) each with its path relative to the folder. Every folder looked into is added
// to folders. Hidden files and folders are left out.
void ScanPath(const std::filesystem::path& path, bool recursive, std::vector<TFoundFile>& found,
              std::vector<std::filesystem::path>& folders);

}  // namespace tomelet::library
