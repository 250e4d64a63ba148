// Many documents at once: the files behind a set of paths (documents and folders of them), each
// under a NAME fit for an address, opened only when first used, and looked for again when the
// folders change.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/Kept.h"
#include "platform/files/FileIdentity.h"

namespace tomelet {
class TDocument;
}
namespace tomelet::search {
class TBackgroundIndex;
class TTermSummary;
}  // namespace tomelet::search

namespace tomelet::library {

class TOpenDocuments;
class TWorkers;

// How many documents a library keeps open at once unless told otherwise. An open document with
// its search index can take a few MiB (2 MiB for python3.11-doc's 530 pages), so a library of
// hundreds keeps only those in use; 64 holds every document of most libraries, whose searches
// across all then never reopen one.
inline constexpr std::size_t kDefaultOpenDocuments = 64;

// What a front end keeps beside an open document (serve's site of it), let go with it.
class TDocumentCompanion {
 public:
  virtual ~TDocumentCompanion() = default;
};

// What the catalogue shows of a document, read from it once.
struct TDocumentFacts {
  std::string Title;     // the start page's <title>, else the file name
  std::string Language;  // the start page's lang, may be empty
  std::size_t Pages = 0;
  bool HasLogo = false;
  bool Protected = false;  // carries a password
  std::string Error;       // why the document cannot be read; the rest is then empty
};

class TLibraryDocument {
 public:
  // open: the library's account of its open documents, which closes the least recently used;
  // null for a document that stays open once opened.
  TLibraryDocument(std::string name, std::filesystem::path path, TFileIdentity stamp,
                   std::shared_ptr<TOpenDocuments> open = nullptr);
  ~TLibraryDocument();
  TLibraryDocument(const TLibraryDocument&) = delete;
  TLibraryDocument& operator=(const TLibraryDocument&) = delete;

  const std::string& Name() const { return name_; }
  const std::filesystem::path& Path() const { return path_; }
  const TFileIdentity& Stamp() const { return stamp_; }

  // The open document, opened on first use and kept until the library closes it; one closed
  // while someone still holds it is handed out again rather than opened twice. Thread-safe.
  // Throws what opening the file throws (EZLBArchiveError with the reader's message).
  std::shared_ptr<const TDocument> Archive() const;
  // The archive path of the start page, empty when there is none; opens the document.
  std::string StartPagePath() const;
  // Read once, from the document opened as Archive opens it (and kept open as long as the
  // library keeps it). Never throws.
  TDocumentFacts Facts() const;
  // The document's search index, opened or built on first use, and kept as Archive. Throws as
  // Archive.
  std::shared_ptr<search::TBackgroundIndex> Index() const;

  using TMakeCompanion = std::function<std::shared_ptr<const TDocumentCompanion>(
      std::shared_ptr<const TDocument> archive, std::shared_ptr<search::TBackgroundIndex> index)>;
  // The companion make made since the document was last opened, made now when there is none; one
  // front end per library, since there is one companion per document. Throws as Archive.
  std::shared_ptr<const TDocumentCompanion> Companion(const TMakeCompanion& make) const;
  bool IsOpen() const;
  // What the document's index holds in brief, for a search to tell whether to open it: kept
  // since its index was first searched, by this process or (from the user's cache folder) an
  // earlier one; null before. Thread-safe; never throws.
  std::shared_ptr<const search::TTermSummary> Summary() const;
  // Keeps the summary of the document's index, and stores it for a later process, unless one is
  // kept already. Thread-safe; never throws.
  void KeepSummary(std::shared_ptr<const search::TTermSummary> summary) const;

 private:
  friend class TOpenDocuments;
  class TWorkers;
  struct THeld {
    std::shared_ptr<const TDocument> Archive;
    std::shared_ptr<search::TBackgroundIndex> Index;
    std::shared_ptr<const TDocumentCompanion> Companion;
  };
  // Lets go of what the open document holds, into held, so that it is destroyed outside every
  // lock; false, keeping it, while the index is still being opened or built.
  bool Close(THeld& held) const;
  void Used() const;
  // What the index calls when its work is done, so a document kept open only for it may close.
  std::function<void()> Settled() const;

  std::string name_;
  std::filesystem::path path_;
  TFileIdentity stamp_;
  std::shared_ptr<TOpenDocuments> open_;
  mutable std::mutex lock_;
  mutable TKept<const TDocument> archive_;
  mutable TKept<search::TBackgroundIndex> index_;
  mutable TKept<const TDocumentCompanion> companion_;
  mutable std::optional<std::string> startPagePath_;  // once first opened
  mutable std::shared_ptr<TDocumentFacts> facts_;
  mutable std::shared_ptr<const search::TTermSummary> summary_;
  mutable bool summaryLooked_ = false;  // the cache folder was looked in
};

using TDocumentList = std::vector<std::shared_ptr<TLibraryDocument>>;

// A file found behind a served path: its path, and the path the name is made from (relative to
// the served folder, or the file name alone for a document given by itself).
struct TFoundFile {
  std::filesystem::path Path;
  std::filesystem::path Relative;
  TFileIdentity Stamp;
};

// The name of each file, in the same order: the relative path without its extension, lower
// case, folders joined by "-", every character outside [a-z0-9._-] written as "-". Files whose
// names would be equal each get "-" and six hex digits of their path's hash, so a name depends
// on its file alone unless another file claims the same one. A file given a name before (given,
// by path) keeps it, and a newcomer that would take it gets the suffix instead: an address once
// handed out stays with its file. Never empty, never "-".
std::vector<std::string> DocumentNames(
    const std::vector<TFoundFile>& files,
    const std::map<std::filesystem::path, std::string>& given = {});

// True for "*.tlt" (any case) and for executable programs with a document attached.
bool LooksLikeDocument(const std::filesystem::path& path, bool executable);

struct TLibraryOptions {
  // Takes the documents of subfolders too.
  bool Recursive = false;
  // Takes what symbolic links lead to outside the served folders too; links inside them are
  // always followed to files.
  bool FollowLinks = false;
  // At most this many documents stay open (with their indexes and companions): beyond it the
  // least recently used are closed, all but those whose index is still being opened or built.
  std::size_t OpenLimit = kDefaultOpenDocuments;
  // Where a search across the library spreads its documents; none: all on the caller's thread.
  std::shared_ptr<TWorkers> Workers = nullptr;
};

class TLibrary {
 public:
  // Each path a document or a folder of documents. Throws std::runtime_error "<path>: no such
  // document or folder" for a path that is neither.
  explicit TLibrary(std::vector<std::filesystem::path> paths, TLibraryOptions options = {});
  ~TLibrary();
  TLibrary(const TLibrary&) = delete;
  TLibrary& operator=(const TLibrary&) = delete;

  // The documents now, sorted by name; a list handed out stays as it is when the library
  // changes, and its documents stay readable for as long as someone holds them.
  std::shared_ptr<const TDocumentList> Documents() const;
  // Null when no document has the name.
  std::shared_ptr<TLibraryDocument> Find(std::string_view name) const;
  // How many documents stay open at once.
  std::size_t OpenLimit() const;
  // The workers searches spread over; null when there are none.
  TWorkers* Workers() const;
  // Looks at the paths again: new files are added, changed ones replaced by a new document,
  // vanished ones dropped; unchanged ones stay as they are, open or not. True when anything
  // changed. Thread-safe.
  bool Reload();
  // Reload on the watch's own thread, once Watch has started it; else Reload now. Returns at
  // once: for a signal's handler.
  void ReloadSoon();
  // Reloads whenever a file appears, changes or goes in a served folder (inotify), on a thread
  // of its own until the library goes; onChange is called after each reload that changed
  // anything. Throws std::runtime_error when the folders cannot be watched.
  void Watch(std::function<void()> onChange = {});

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tomelet::library
