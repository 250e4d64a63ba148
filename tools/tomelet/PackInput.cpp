#include "tools/tomelet/PackInput.h"

#include <fnmatch.h>

#include <algorithm>
#include <unordered_map>

#include "ZLIBArchive2/ZLIBArchive2.h"
#include "document/DocumentEntries.h"
#include "search/SearchIndex.h"

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
  if (folders.empty() && IsReservedEntry(fileName)) {
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

bool IsSelected(const std::filesystem::path& relative, const PackSelection& selection) {
  if (!selection.keepHidden && relative.filename().native().starts_with('.')) {
    return false;
  }
  const std::string path = relative.generic_string();
  return std::none_of(selection.exclude.begin(), selection.exclude.end(),
                      [&path](const std::string& pattern) {
                        return ::fnmatch(pattern.c_str(), path.c_str(), 0) == 0;
                      });
}

// The type of what the entry leads to; a link that leads back to itself is reported and has none.
std::filesystem::file_type TargetType(const std::filesystem::directory_entry& item,
                                      const std::filesystem::path& relative,
                                      const std::function<void(const std::string&)>& warn) {
  std::error_code error;
  const auto status = item.status(error);
  if (error == std::errc::too_many_symbolic_link_levels) {
    warn("skipped link loop " + relative.string());
    return std::filesystem::file_type::none;
  }
  if (!std::filesystem::status_known(status)) {
    throw std::filesystem::filesystem_error("Cannot read", item.path(), error);
  }
  return status.type();
}

void RequireAPage(const std::filesystem::path& folder, const std::vector<PackFile>& files) {
  const bool hasPage = std::any_of(files.begin(), files.end(), [](const PackFile& file) {
    return search::IsHtmlPageName(file.archivePath);
  });
  if (!hasPage) {
    throw EPackInputError("No page to pack in " + folder.string() +
                          " (no .htm, .html or .xhtml file)");
  }
}

}  // namespace

std::vector<PackFile> CollectPackFiles(const std::filesystem::path& folder,
                                       const std::filesystem::path& skip,
                                       const PackSelection& selection,
                                       const std::function<void(const std::string&)>& warn) {
  namespace fs = std::filesystem;
  if (!fs::is_directory(folder)) {
    throw EPackInputError("Not a folder: " + folder.string());
  }
  const bool haveSkip = !skip.empty() && fs::exists(skip);
  std::vector<PackFile> files;
  for (auto item = fs::recursive_directory_iterator(folder); item != fs::end(item); ++item) {
    const auto relative = item->path().lexically_relative(folder);
    if (!IsSelected(relative, selection)) {
      item.disable_recursion_pending();
      continue;
    }
    const auto type = TargetType(*item, relative, warn);
    if (type == fs::file_type::none) {
      continue;
    }
    if (type == fs::file_type::directory) {
      if (item->is_symlink()) {
        warn("skipped linked folder " + relative.string());
      }
      continue;
    }
    if (type != fs::file_type::regular) {
      warn("skipped " + relative.string() + " (not a regular file)");
      continue;
    }
    if (haveSkip && fs::equivalent(item->path(), skip)) {
      continue;
    }
    files.push_back({ArchivePathOf(relative), item->path(), item->file_size()});
  }
  RequireAPage(folder, files);
  std::sort(files.begin(), files.end(),
            [](const PackFile& a, const PackFile& b) { return a.archivePath < b.archivePath; });
  WarnAboutCaseTwins(files, warn);
  return files;
}

}  // namespace tomelet::cli
