// The one handle on an open document: opened once per file and shared by every front end (the
// viewer, search, serve and the command line) as std::shared_ptr<const TDocument>. Every member
// may be called from any number of threads at once; reads are positioned, with no shared offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "document/DocumentArchive.h"
#include "document/DocumentEntries.h"
#include "document/ProjectOptions.h"

namespace tomelet {

class TArchiveSnapshot;

class TDocument final {
 public:
  explicit TDocument(std::unique_ptr<const IDocumentArchive> archive);

  const std::filesystem::path& FileName() const { return archive_->FileName(); }
  // The file as it was when opened: for caches, Last-Modified and telling a change.
  const TFileIdentity& Identity() const { return archive_->Identity(); }
  // False once the file at the path is not the one opened: replaced, or changed in place.
  bool IsUnchanged() const;

  int EntryCount() const { return archive_->EntryCount(); }
  // Throws EZLBArchiveError "Index out of bounds".
  TDocumentEntry Entry(int index) const { return archive_->Entry(index); }
  // The exact lookup: ASCII case folded, -1 when there is no such entry.
  int IndexOf(std::string_view archivePath) const { return archive_->IndexOf(archivePath); }
  // The lookup every front end makes: as given, then in the Windows-1252 form that documents made
  // on Windows store their names in.
  TFoundEntry Find(std::string archivePath) const;

  // The whole contents. Throws "The archive appears to be corrupted" for damaged data or a stream
  // that ends before the entry's size, "<name> failed CRC check" for wrong bytes, and "No
  // password given for encrypted file" for encrypted entries.
  std::vector<std::byte> Contents(int index) const { return archive_->Contents(index); }
  // The contents from byte from on, read piece by piece and checked as Contents checks them (the
  // CRC only from byte 0, on the last read); a large deflated entry resumes at the nearest seek
  // point earlier readers left.
  std::unique_ptr<TEntryReader> OpenContents(int index, std::int64_t from = 0) const {
    return archive_->OpenContents(index, from);
  }
  // Up to size bytes of the contents from byte from on, fewer where they end, read as
  // OpenContents reads them. Throws what OpenContents throws.
  std::vector<std::byte> ContentsPart(int index, std::int64_t from, std::size_t size) const;
  // The type the entry's first bytes show (SniffContentType), for a name that does not tell.
  // Throws what OpenContents throws.
  std::string_view SniffedType(int index) const;
  // Reads the entry through once and remembers it sound; throws what Contents throws.
  void CheckWhole(int index) const { archive_->CheckWhole(index); }
  // Changes whenever the entry's contents do, and only then: for entity tags and caches.
  std::string ContentTag(int index) const { return archive_->ContentTag(index); }
  // The contents lying unchanged in the file; null when they are kept otherwise. Unchecked:
  // CheckWhole first.
  std::optional<TFileBlock> PlainBlock(int index) const { return archive_->PlainBlock(index); }
  // Whether the entry is kept as a zlib stream that DeflatedBlock may offer; cheap.
  bool IsKeptDeflated(int index) const { return archive_->IsKeptDeflated(index); }
  // The zlib stream of the entry in the file when it holds exactly its checked contents, to be
  // served as it is stored; null otherwise. Checked on first use, then remembered.
  std::optional<TFileBlock> DeflatedBlock(int index) const {
    return archive_->DeflatedBlock(index);
  }
  // Reads up to buffer.size() bytes at an absolute file position.
  std::size_t ReadAt(std::int64_t fileOffset, std::span<std::byte> buffer) const {
    return archive_->ReadAt(fileOffset, buffer);
  }
  // The open descriptor, for readers that open an entry in place (the search index); only ever
  // read with positioned reads.
  int Descriptor() const { return archive_->Descriptor(); }
  // Bytes inflated so far by readers of this document: what range requests cost.
  std::int64_t InflatedBytes() const { return archive_->InflatedBytes(); }

  // The options record, read on first use and kept; all zero without one. Throws EZLBArchiveError
  // when the record is damaged (and again on the next call).
  const TProjectOptions& Options() const;
  // The archive path of the start page (StartPageArchivePath of the options' StartPageOption).
  const std::string& StartPagePath() const;

  // The archive under a document read from this system's own archive files, for the tools that
  // show or rewrite the format itself (list, info, verify, index); null for other containers.
  const TArchiveSnapshot* StoredArchive() const;

 private:
  std::unique_ptr<const IDocumentArchive> archive_;
  mutable std::once_flag optionsRead_;
  mutable TProjectOptions options_;
  mutable std::string startPagePath_;
};

// Opens the document at path. Throws EDocumentFileError (DocumentFile.h), saying what the file is,
// when it carries no readable document.
std::shared_ptr<const TDocument> OpenDocument(const std::filesystem::path& path);

// The document the viewer's reader has open, over the same descriptor and registry, so that the
// file is opened once. Throws EZLBArchiveError "No archive is currently open".
std::shared_ptr<const TDocument> ShareDocument(const TZLBArc2& reader);

}  // namespace tomelet
