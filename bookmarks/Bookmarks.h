// The reader's bookmarks of a document: the bookmark file format that browsers export and import
// ("NETSCAPE-Bookmark-file-1"), and the store that keeps one such file per document under
// $XDG_DATA_HOME/tomelet, so the reader's own file opens in any browser as it is.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tomelet {

struct TBookmark {
  std::string Title;
  std::string Address;  // with its anchor, when it has one
  int ScrollX = 0;
  int ScrollY = 0;
  std::int64_t AddedAt = 0;  // seconds since 1970, as browsers write ADD_DATE

  bool operator==(const TBookmark&) const = default;
};

// A text that is not a bookmark file, or one that was cut short.
class EBookmarkFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A bookmark file with the bookmarks in one list. The scroll place goes in an attribute of the
// link that browsers pass over.
std::string FormatBookmarkFile(std::span<const TBookmark> bookmarks);
// Every link of a bookmark file in the order written, folders flattened; names of HTML's
// character references are decoded. Throws EBookmarkFileError when the text does not begin as a
// bookmark file, or a tag, a link or a list is left open.
std::vector<TBookmark> ParseBookmarkFile(std::string_view text);
// Reads and parses a bookmark file; throws EBookmarkFileError when it cannot be read, is larger
// than any bookmark file a reader keeps, or does not parse.
std::vector<TBookmark> ReadBookmarkFile(const std::filesystem::path& file);

// What the store found for a document.
struct TStoredBookmarks {
  std::vector<TBookmark> Bookmarks;
  // Where a damaged file was moved so that nothing overwrites it; empty when none was.
  std::filesystem::path KeptAside;
};

class TBookmarkStore {
 public:
  explicit TBookmarkStore(std::filesystem::path folder) : folder_(std::move(folder)) {}
  // $XDG_DATA_HOME/tomelet/bookmarks, or ~/.local/share/tomelet/bookmarks without that
  // variable; empty when neither the variable nor HOME is set.
  static std::filesystem::path DefaultFolder();

  // The bookmarks of the document with that key; none when it has no file yet. A file that
  // cannot be read or parsed is renamed to "<key>.damaged-<n>.html" beside it and nothing is
  // answered. Throws EBookmarkFileError when such a file cannot be moved aside, so that no save
  // replaces it.
  TStoredBookmarks Load(std::string_view key) const;
  // Replaces the document's file at once or not at all. Returns false when it could not be
  // written.
  bool Save(std::string_view key, std::span<const TBookmark> bookmarks) const;
  std::filesystem::path FileOf(std::string_view key) const;

 private:
  std::filesystem::path KeepAside(std::string_view key) const;
  std::filesystem::path folder_;
};

}  // namespace tomelet
