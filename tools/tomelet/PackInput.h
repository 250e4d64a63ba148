// The files of a folder as archive entries: names joined with "\", in a stable order.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tomelet::cli {

class EPackInputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Which files of the folder go into the document.
struct PackSelection {
  // Names beginning with "." (a build's own records, such as ".buildinfo" and ".doctrees") are
  // left out unless kept.
  bool keepHidden = false;
  // Shell patterns matched against the path below the folder with "/" between folders ("*"
  // matches across folders too); a matching folder is left out with all it holds.
  std::vector<std::string> exclude;
};

struct PackFile {
  std::string archivePath;  // folders joined with "\", bytes as on disk
  std::filesystem::path source;
  std::uintmax_t size = 0;
};

// Every regular file below folder that selection keeps (symbolic links to files count as files;
// linked folders are not entered), sorted by the bytes of archivePath. Files equivalent to skip
// are left out, so a document written into its own source folder is not packed into itself.
// Throws EPackInputError for a name that cannot be stored (a "\" inside a name, a file name or
// folder part over 255 bytes, or a top-level name the document keeps for itself) and when no
// page (a .htm, .html or .xhtml file) is left to pack. warn receives notes on what was left out
// unasked, such as a link that leads to itself.
std::vector<PackFile> CollectPackFiles(const std::filesystem::path& folder,
                                       const std::filesystem::path& skip,
                                       const PackSelection& selection,
                                       const std::function<void(const std::string&)>& warn);

}  // namespace tomelet::cli
