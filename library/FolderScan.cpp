#include "library/FolderScan.h"

#include <system_error>

namespace tomelet::library {
namespace {

namespace fs = std::filesystem;

bool Stamp(const fs::path& path, TFileIdentity& stamp, bool& executable) {
  std::error_code ec;
  const auto status = fs::status(path, ec);
  const auto identity = IdentityAt(path);
  if (ec || !fs::is_regular_file(status) || !identity) {
    return false;
  }
  stamp = *identity;
  constexpr auto kAnyExecute =
      fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  executable = (status.permissions() & kAnyExecute) != fs::perms::none;
  return true;
}

void AddIfDocument(const fs::path& path, const fs::path& relative, std::vector<TFoundFile>& found) {
  TFoundFile file{path, relative, {}};
  bool executable = false;
  if (Stamp(path, file.Stamp, executable) && LooksLikeDocument(path, executable)) {
    found.push_back(std::move(file));
  }
}

void ScanFolder(const fs::path& folder, bool recursive, std::vector<TFoundFile>& found,
                std::vector<fs::path>& folders) {
  folders.push_back(folder);
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& path = it->path();
    if (path.filename().native().starts_with('.')) {
      continue;
    }
    if (it->is_directory(ec)) {
      if (recursive) {
        std::vector<TFoundFile> inner;
        ScanFolder(path, recursive, inner, folders);
        for (auto& file : inner) {
          file.Relative = path.filename() / file.Relative;
          found.push_back(std::move(file));
        }
      }
      continue;
    }
    AddIfDocument(path, path.filename(), found);
  }
}

}  // namespace

void ScanPath(const fs::path& path, bool recursive, std::vector<TFoundFile>& found,
              std::vector<fs::path>& folders) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    ScanFolder(path, recursive, found, folders);
    return;
  }
  TFoundFile file{path, path.filename(), {}};
  bool executable = false;
  if (Stamp(path, file.Stamp, executable)) {
    found.push_back(std::move(file));
  }
}

}  // namespace tomelet::library
