// The one writer of documents: files, the options record, a logo, the document's map and its
// search index, written at once to the output through a temporary file. `tomelet pack`, `tomelet
// import` and the viewer's import all write through it.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/DocumentMap.h"
#include "document/ProjectOptions.h"
#include "search/DocumentMapBuilder.h"

namespace tomelet {
class TDocument;
}  // namespace tomelet

namespace tomelet::importer {

struct TWritingSettings {
  TFileCompressionLevel Level = fcDefault;
  bool Index = true;
  std::string Language;       // for the index's stemmer; empty means English
  std::size_t PageCount = 0;  // HTML pages to come, when known (see TIndexSettings)
  std::string StartPagePath;  // archive path; may be empty
};

// What a document wants when nobody says otherwise: a 1024 x 768 sizeable centred window with
// tool bar, captions and status bar, and every command allowed.
TProjectOptions UsableWindowOptions();

// The page a document opens with when its source names none: index.htm or index.html at the
// top, else the only page at the top; empty when there is no such page. Names use "/" or "\"
// between folders.
std::string GuessStartPage(const std::vector<std::string>& names);

class TDocumentWriting {
 public:
  // Throws ESearchIndexError when the index cannot be started.
  explicit TDocumentWriting(const TWritingSettings& settings);
  ~TDocumentWriting();
  TDocumentWriting(const TDocumentWriting&) = delete;
  TDocumentWriting& operator=(const TDocumentWriting&) = delete;

  // Files are stored in the order they are added; HTML pages are indexed and mapped too.
  void AddFile(std::string_view archivePath, std::span<const std::byte> bytes);
  // The same, taking the bytes over instead of copying them.
  void AddFile(std::string_view archivePath, std::vector<std::byte>&& bytes);
  // Stored only: neither indexed nor mapped (a page that only leads on to another).
  void AddUnlistedFile(std::string_view archivePath, std::span<const std::byte> bytes);
  // The contents a source or an author gives, used instead of those found in the pages.
  void SetContents(TContents contents);
  // The keywords a source's own index gives, used instead of the definitions found in the pages
  // (page titles and headings found stay); those without a page title get their page's.
  void SetKeywords(std::vector<TKeyword> keywords);

  // Adds the options, the logo (when not empty), the map and the index, and writes the document
  // to out (see WriteDocument). readPage reads the start page and its table of contents, for
  // contents found in the pages.
  void Finish(const TProjectOptions& options, std::span<const std::byte> logo,
              const search::TPageReader& readPage, const std::string& out,
              const std::string& stub = {});

 private:
  // Hands an HTML page to the index and the map.
  void ReadPage(std::string_view archivePath, std::span<const std::byte> bytes);

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The output name that stands for standard output.
inline constexpr std::string_view kStandardOutput = "-";

// Throws unless out is standard output, a new name or an existing regular file: a link, a
// device or a folder is never replaced by a document.
void CheckOutputTarget(const std::string& out);

// Writes the document to out through a temporary file beside it, so a failure never leaves a
// half-written document under that name. With a stub, the archive follows a copy of it and the
// result is executable (mode 0755); otherwise the mode is the usual 0666 less the umask.
void WriteDocument(const TZLBArchiveWriter& writer, const std::string& out,
                   const std::string& stub);

// Replaces the document at path, open as document, by what precedes its archive (a viewer it is
// appended to) followed by the writer's archive, through a temporary file and a rename, keeping
// its mode. The prefix is copied from the open document, so the file is not opened again.
void ReplaceDocument(const TZLBArchiveWriter& writer, const TDocument& document,
                     const std::string& path);

}  // namespace tomelet::importer
