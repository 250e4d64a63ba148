// The program's temporary folder, chosen the one way every part of the program shares.
#pragma once

#include <filesystem>

namespace tomelet {

// The first of TMP, TEMP and TMPDIR that names an existing folder, else /tmp. A variable that is
// unset, empty or names no folder is passed over. Never throws; the folder is returned as the
// variable spells it (not made absolute), without a trailing slash added.
std::filesystem::path TemporaryFolderPath();

}  // namespace tomelet
