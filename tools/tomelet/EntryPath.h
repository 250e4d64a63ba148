// Where an entry lands below an extraction folder, decided before anything is written.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tomelet::cli {

class EUnsafeEntryName : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The components of an archive path ("\"-separated, 8-bit as stored) as UTF-8 names for the
// file system. Throws EUnsafeEntryName naming the entry for anything that could leave the
// folder or mean something else on disk: "." or "..", an absolute path, a drive letter, an
// empty component, "/" or a NUL byte inside a name, a name over 255 bytes once it is UTF-8.
std::vector<std::string> ExtractionPath(std::string_view archivePath);

}  // namespace tomelet::cli
