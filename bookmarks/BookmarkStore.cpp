#include <system_error>

#include "bookmarks/Bookmarks.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/UserFolders.h"

namespace tomelet {
namespace {

constexpr std::string_view kFileExtension = ".html";

}  // namespace

std::filesystem::path TBookmarkStore::DefaultFolder() {
  const auto data = UserFolder(TUserFolder::Data);
  return data.empty() ? data : data / "tomelet" / "bookmarks";
}

std::filesystem::path TBookmarkStore::FileOf(std::string_view key) const {
  return folder_ / (std::string(key) + std::string(kFileExtension));
}

TStoredBookmarks TBookmarkStore::Load(std::string_view key) const {
  std::error_code error;
  if (folder_.empty() || !std::filesystem::exists(FileOf(key), error))
    return {};
  try {
    return {ReadBookmarkFile(FileOf(key)), {}};
  } catch (const EBookmarkFileError&) {
    return {{}, KeepAside(key)};
  }
}

// The first free "<key>.damaged-<n>.html", so an earlier damaged file is never replaced either.
std::filesystem::path TBookmarkStore::KeepAside(std::string_view key) const {
  for (int number = 1; number < 1000; ++number) {
    const auto aside = folder_ / (std::string(key) + ".damaged-" + std::to_string(number) +
                                  std::string(kFileExtension));
    std::error_code error;
    if (std::filesystem::exists(aside, error) || error)
      continue;
    std::filesystem::rename(FileOf(key), aside, error);
    if (!error)
      return aside;
    break;
  }
  throw EBookmarkFileError("The bookmark file " + FileOf(key).string() +
                           " is damaged and cannot be moved aside.");
}

bool TBookmarkStore::Save(std::string_view key, std::span<const TBookmark> bookmarks) const {
  return !folder_.empty() && WriteFileAtomically(FileOf(key), FormatBookmarkFile(bookmarks));
}

}  // namespace tomelet
