#include "library/FolderScan.h"

#include <algorithm>
#include <set>
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

// Whether path lies inside folder; both canonical.
bool IsInside(const fs::path& path, const fs::path& folder) {
  const auto [end, inside] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
  return end == folder.end();
}

// One look into a served folder: its rules, where it really is, and the folders already looked
// into, by where they really are.
struct TScan {
  const TScanRules& Rules;
  fs::path Root;
  std::set<fs::path> Seen;
  std::vector<TFoundFile>& Found;
  std::vector<fs::path>& Folders;

  void Folder(const fs::path& folder, const fs::path& relative);
  void Entry(const fs::directory_entry& entry, const fs::path& relative);
};

void TScan::Folder(const fs::path& folder, const fs::path& relative) {
  std::error_code ec;
  if (!Seen.insert(fs::canonical(folder, ec)).second || ec) {
    return;
  }
  Folders.push_back(folder);
  std::vector<fs::directory_entry> entries;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->path().filename().native().starts_with('.')) {
      entries.push_back(*it);
    }
  }
  std::sort(entries.begin(), entries.end());
  for (const auto& entry : entries) {
    Entry(entry, relative / entry.path().filename());
  }
}

void TScan::Entry(const fs::directory_entry& entry, const fs::path& relative) {
  std::error_code ec;
  const fs::path& path = entry.path();
  const bool linked = entry.is_symlink(ec);
  const bool folder = entry.is_directory(ec);
  if (linked) {
    const fs::path target = fs::canonical(path, ec);
    const bool inside = !ec && IsInside(target, Root);
    if (ec || (inside && folder) || (!inside && !Rules.FollowLinks)) {
      return;
    }
  }
  if (folder) {
    if (Rules.Recursive) {
      Folder(path, relative);
    }
    return;
  }
  TFoundFile file{path, relative, {}};
  bool executable = false;
  if (Stamp(path, file.Stamp, executable) && LooksLikeDocument(path, executable)) {
    Found.push_back(std::move(file));
  }
}

}  // namespace

void ScanPath(const fs::path& path, const TScanRules& rules, std::vector<TFoundFile>& found,
              std::vector<fs::path>& folders) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    TScan scan{rules, fs::canonical(path, ec), {}, found, folders};
    scan.Folder(path, {});
    return;
  }
  TFoundFile file{path, path.filename(), {}};
  bool executable = false;
  if (Stamp(path, file.Stamp, executable)) {
    found.push_back(std::move(file));
  }
}

}  // namespace tomelet::library
