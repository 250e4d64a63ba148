#include "tools/tomelet/PackInput.h"

#include <algorithm>
#include <unordered_map>

#include "ZLIBArchive2/ZLIBArchive2.h"

namespace tomelet::cli {
namespace {

constexpr std::size_t kShortStringMax = 255;

[[noreturn]] void Refuse(const std::filesystem::path& relative, const std::string& reason) {
  throw EPackInputError("Cannot pack \"" + relative.string() + "\": " + reason);
}

std::string ArchivePathOf(const std::filesystem::path& relative) {
  std::string folders;
  std::string fileName;
  for (auto part = relative.begin(); part != relative.end(); ++part) {
    const auto& name = part->native();
    if (name.find('\\') != std::string::npos) {
      Refuse(relative, "a name contains \"\\\"");
    }
    if (std::next(part) == relative.end()) {
      fileName = name;
    } else {
      folders.append(name).push_back('\\');
    }
  }
  if (fileName.size() > kShortStringMax) {
    Refuse(relative, "the file name is longer than 255 bytes");
  }
  if (folders.size() > kShortStringMax) {
    Refuse(relative, "the folder part is longer than 255 bytes");
  }
  if (folders.empty() &&
      (fileName == "-config-" || fileName == "-logo-" || fileName == "-index-")) {
    Refuse(relative, "the name is reserved for the document's own entries");
  }
  return folders + fileName;
}

// Lookups ignore the case of A to Z, so of two such names only the first can ever be shown.
void WarnAboutCaseTwins(const std::vector<PackFile>& files,
                        const std::function<void(const std::string&)>& warn) {
  std::unordered_map<std::string, const PackFile*> byFolded;
  for (const auto& file : files) {
    const auto [found, added] = byFolded.emplace(FoldArchivePath(file.archivePath), &file);
    if (!added) {
      warn("\"" + file.archivePath + "\" differs from \"" + found->second->archivePath +
           "\" only in case; the viewer shows only the first");
    }
  }
}

}  // namespace

std::vector<PackFile> CollectPackFiles(const std::filesystem::path& folder,
                                       const std::filesystem::path& skip,
                                       const std::function<void(const std::string&)>& warn) {
  namespace fs = std::filesystem;
  if (!fs::is_directory(folder)) {
    throw EPackInputError("Not a folder: " + folder.string());
  }
  const bool haveSkip = !skip.empty() && fs::exists(skip);
  std::vector<PackFile> files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    const auto relative = item.path().lexically_relative(folder);
    if (item.is_directory()) {
      if (item.is_symlink()) {
        warn("skipped linked folder " + relative.string());
      }
      continue;
    }
    if (!item.is_regular_file()) {
      warn("skipped " + relative.string() + " (not a regular file)");
      continue;
    }
    if (haveSkip && fs::equivalent(item.path(), skip)) {
      continue;
    }
    files.push_back({ArchivePathOf(relative), item.path(), item.file_size()});
  }
  std::sort(files.begin(), files.end(),
            [](const PackFile& a, const PackFile& b) { return a.archivePath < b.archivePath; });
  WarnAboutCaseTwins(files, warn);
  return files;
}

}  // namespace tomelet::cli
