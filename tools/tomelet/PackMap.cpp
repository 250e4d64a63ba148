#include "tools/tomelet/PackMap.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <unordered_map>

#include "ZLIBArchive2/ZLIBArchive2.h"
#include "document/DocumentAddress.h"

namespace tomelet::cli {
namespace {

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw std::runtime_error("Cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string FoldedPage(std::string_view page) {
  std::string path(page);
  std::replace(path.begin(), path.end(), '/', '\\');
  return FoldArchivePath(path);
}

std::unordered_map<std::string, const PackFile*> FilesByFoldedPath(
    const std::vector<PackFile>& files) {
  std::unordered_map<std::string, const PackFile*> byPath;
  for (const PackFile& file : files)
    byPath.emplace(FoldArchivePath(file.archivePath), &file);
  return byPath;
}

void WarnMissingPages(const TContents& items,
                      const std::unordered_map<std::string, const PackFile*>& files,
                      const std::function<void(const std::string&)>& warn) {
  for (const TContentsItem& item : items) {
    if (!item.Page.empty() && !files.contains(FoldedPage(item.Page)))
      warn("the contents link to \"" + item.Page + "\", which is not in the folder");
    WarnMissingPages(item.Children, files, warn);
  }
}

}  // namespace

std::optional<TContents> ReadPackContents(const std::vector<PackFile>& files,
                                          const std::string& contentsFile,
                                          const std::function<void(const std::string&)>& warn) {
  if (contentsFile.empty())
    return std::nullopt;
  TContents contents = search::ReadContentsFile(ReadText(contentsFile));
  WarnMissingPages(contents, FilesByFoldedPath(files), warn);
  return contents;
}

search::TPageReader PackPageReader(const std::vector<PackFile>& files) {
  return [byPath = FilesByFoldedPath(files)](std::string_view page) -> std::optional<std::string> {
    const auto found = byPath.find(FoldedPage(page));
    if (found == byPath.end())
      return std::nullopt;
    try {
      return ReadText(found->second->source);
    } catch (const std::runtime_error&) {
      return std::nullopt;
    }
  };
}

}  // namespace tomelet::cli
