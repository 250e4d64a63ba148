// The reader's shelf: every document in the shelf folders as one library, what the reader
// switched off for searching, and one search across the documents that are on: keywords first,
// then full-text hits, each document with its own stemmer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "library/Library.h"
#include "library/LibrarySearch.h"
#include "shelf/ShelfKeywords.h"
#include "shelf/ShelfSettings.h"

namespace tomelet::shelf {

// The folders a shelf shows without a step of the reader's: $XDG_DATA_HOME/tomelet/documents
// (else ~/.local/share/tomelet/documents) and tomelet/documents below each folder of
// $XDG_DATA_DIRS (else /usr/local/share and /usr/share), where packages install documents.
std::vector<std::filesystem::path> StandardShelfFolders();

// A document on the shelf as its list shows it.
struct TShelfDocument {
  std::string Name;  // as a scope names it ("python: ...")
  std::filesystem::path Path;
  library::TDocumentFacts Facts;
  std::int64_t Size = 0;
  bool Searched = true;
  std::vector<std::string> Groups;
  std::vector<std::byte> Logo;  // the icon file of its "-logo-" entry; empty without one
};

// Where the installed books are found and where they are kept once imported; no folder leaves
// them off the shelf.
struct TBookPlaces {
  std::vector<std::filesystem::path> Books;  // their index files
  std::filesystem::path Folder;
};

// The books installed on this system, kept in the user's cache (see InstalledBooks.h).
TBookPlaces InstalledBookPlaces();

struct TShelfResults {
  std::string Query;
  TKeywordResults Keywords;
  library::TLibraryResults Text;
};

class TShelf {
 public:
  // folders: those to show besides the reader's added ones; folders that do not exist are passed
  // over, but the reader's own documents folder is made so that files put there appear.
  // settingsFile: where the reader's settings are kept; empty keeps them for this run only.
  // books: shown unless the reader turned installed books off, imported in the background.
  TShelf(std::vector<std::filesystem::path> folders, std::filesystem::path settingsFile,
         TBookPlaces books = {});
  ~TShelf();
  TShelf(const TShelf&) = delete;
  TShelf& operator=(const TShelf&) = delete;

  // The folders shown now, in their order.
  std::vector<std::filesystem::path> Folders() const;
  // Names and files only, at once.
  std::vector<TShelfDocument> Listed() const;
  // With the facts of each document, which opens the ones not read yet: call it off a thread
  // that must stay responsive.
  std::vector<TShelfDocument> Documents() const;
  // The file of the document a search named; empty for a name not on the shelf.
  std::filesystem::path FileOf(std::string_view name) const;
  // The open document behind a file of the shelf; null when it is not on the shelf.
  std::shared_ptr<library::TLibraryDocument> Find(const std::filesystem::path& file) const;

  TShelfSettings Settings() const;
  // Changes the settings and keeps them.
  void ChangeSettings(const std::function<void(TShelfSettings&)>& change);
  // Adds a folder to the shelf and remembers it; nothing for one shown already. Throws
  // std::runtime_error when it is no folder.
  void AddFolder(const std::filesystem::path& folder);
  // Shows a folder for this run only, as the folders given at the start. Throws as AddFolder.
  void ShowFolder(const std::filesystem::path& folder);

  // Calls onChange, on a thread of the shelf's, whenever a document appears, changes or goes,
  // and whenever keywords a search waited for have been read.
  void Watch(std::function<void()> onChange);

  // The keywords alone, at once, for what the reader typed, as Search scopes them. Thread-safe.
  TKeywordResults Keywords(std::string_view typed, std::size_t limit) const;
  // Keywords and full-text hits for what the reader typed; a scope ("python: dict") picks the
  // documents searched, else every document switched on. Thread-safe.
  TShelfResults Search(std::string_view typed, std::size_t keywordLimit,
                       std::size_t hitLimit) const;

 private:
  struct TScoped;
  TScoped Scoped(std::string_view typed) const;

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tomelet::shelf
