// Where an open document's map comes from: its "-map-" entry, else the cache folder of search
// indexes (under a name of its own, pruned with the indexes), else its pages.
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "document/Document.h"
#include "search/DocumentIndex.h"
#include "search/DocumentMapBuilder.h"
#include "search/IndexCache.h"
#include "search/SearchIndex.h"

namespace tomelet::search {
namespace {

// Named after the document's index cache file, so both follow the same changes of contents.
std::filesystem::path CachedMapPath(const TDocument& archive, std::string_view startPagePath) {
  const auto index = CachedIndexPath(archive, startPagePath);
  return index.parent_path() / (index.stem().string() + "-map.index");
}

std::optional<std::string> EntryText(const TDocument& archive, std::string_view path) {
  std::string archivePath(path);
  std::replace(archivePath.begin(), archivePath.end(), '/', '\\');
  const int index = archive.IndexOf(archivePath);
  if (index < 0)
    return std::nullopt;
  try {
    const auto bytes = archive.Contents(index);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  } catch (const EZLBArchiveError&) {
    return std::nullopt;
  }
}

std::unique_ptr<TDocumentMap> ReadCachedMap(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return nullptr;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  try {
    auto map = std::make_unique<TDocumentMap>(ReadMapEntry(bytes));
    MarkIndexUsed(path);
    return map;
  } catch (const EDocumentMapError&) {
    return nullptr;
  }
}

// Written under a temporary name and renamed, so a reader never sees half a map. A cache that
// cannot be written leaves the map in memory only.
void WriteCachedMap(const std::filesystem::path& path, const TDocumentMap& map) {
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  const std::string temporary = path.string() + "." + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << WriteMapEntry(map);
    if (!out.flush()) {
      std::remove(temporary.c_str());
      return;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0)
    std::remove(temporary.c_str());
  PruneIndexCache(path.parent_path(), path);
}

}  // namespace

TDocumentMap DeriveDocumentMap(const TDocument& archive, std::string_view startPagePath) {
  TDocumentMapBuilder builder{std::string(startPagePath)};
  for (int i = 0; i < archive.EntryCount(); ++i) {
    const std::string path = archive.Entry(i).ArchivePath();
    if (!IsHtmlPageName(path) || IsReservedEntry(path))
      continue;
    if (const auto html = EntryText(archive, path))
      builder.AddPage(path, *html);
  }
  return builder.Finish([&](std::string_view page) { return EntryText(archive, page); });
}

std::shared_ptr<const TDocumentMap> OpenDocumentMap(const TDocument& archive,
                                                    std::string_view startPagePath) {
  try {
    if (auto stored = ReadStoredMap(archive))
      return stored;
  } catch (const EDocumentMapError&) {
    // A damaged map is made again from the pages, as for a document without one.
  }
  const auto path = CachedMapPath(archive, startPagePath);
  if (auto cached = ReadCachedMap(path))
    return cached;
  auto derived = std::make_shared<TDocumentMap>(DeriveDocumentMap(archive, startPagePath));
  WriteCachedMap(path, *derived);
  return derived;
}

}  // namespace tomelet::search
