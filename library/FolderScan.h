// The document files behind a served path: the path itself when it names a file, else the
// documents of the folder. What a served folder may reach: everything inside it, through
// symbolic links too, and what links lead to outside it only when the operator says so; each
// folder is looked into once, so links in a loop end.
#pragma once

#include <filesystem>
#include <vector>

#include "library/Library.h"

namespace tomelet::library {

struct TScanRules {
  // Looks into subfolders too.
  bool Recursive = false;
  // Takes files and folders that symbolic links lead to outside the served folder.
  bool FollowLinks = false;
};

// Adds what is behind path to found: a file as it is, a folder's documents (its subfolders' too
// when recursive) each with its path relative to the folder, in name order. A link to a file
// inside the folder is taken under its own name; a link to a folder inside it is not followed,
// since that folder's documents are taken under their own path. Every folder looked into is
// added to folders. Hidden files and folders are left out.
void ScanPath(const std::filesystem::path& path, const TScanRules& rules,
              std::vector<TFoundFile>& found, std::vector<std::filesystem::path>& folders);

}  // namespace tomelet::library
