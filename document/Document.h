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

class TDocument final : public IDocumentEntries {
 public:
  explicit TDocument(std::unique_ptr<const IDocumentArchive> archive);

  const std::filesystem::path& FileName() const { return archive_->FileName(); }
  // The file as it was when opened: for caches, Last-Modified and telling a change.
  const TFileIdentity& Identity() const { return archive_->Identity(); }
  // False once the file at the path is not the one opened: replaced, or changed in place.
  bool IsUnchanged() const;

  int EntryCount() const { return archive_->EntryCount(); }
  // Throws EZLBArchiveError "Index out of bounds".
  TEntryView Entry(int index) const override { return archive_->Entry(index); }
  // The exact lookup: ASCII case folded, -1 when there is no such entry.
  int IndexOf(std::string_view archivePath) const override;
  // The lookup every front end makes: as given, then in the Windows-1252 form.
  TFoundEntry Find(std::string archivePath) const {
    return FindEntry(*this, std::move(archivePath));
  }

  // Whether the entry is a plain zlib stream that may be handed out as it is stored.
  bool IsDeflated(int index) const { return archive_->IsDeflated(index); }
  // The whole contents. Throws "The archive appears to be corrupted" for damaged data or a stream
  // that ends before the entry's size, "<name> failed CRC check" for wrong bytes, and "No
  // password given for encrypted file" for encrypted entries.
  std::vector<std::byte> Contents(int index) const { return archive_->Contents(index); }
  void Extract(int index, const std::string& archivePath, TMemoryStream& dest) const override;
  // The contents read piece by piece, checked as Contents checks them (the CRC on the last read).
  std::unique_ptr<TEntryReader> OpenContents(int index) const override;
  // The contents from byte from on; the CRC is checked only from byte 0, and a large deflated
  // entry resumes at the nearest seek point earlier readers left.
  std::unique_ptr<TEntryReader> OpenContents(int index, std::int64_t from) const;
  // The type the entry's first bytes show (SniffContentType), for a name that does not tell.
  // Throws what OpenContents throws.
  std::string_view SniffedType(int index) const;
  // Reads the entry through once and remembers it sound; throws what Contents throws.
  void CheckWhole(int index) const { archive_->CheckWhole(index); }
  // True when the entry's zlib stream ends at its compressed size and inflates to its size and
  // CRC, so that it can be served as stored. Checked on first use, then remembered.
  bool HasVerifiedZlibStream(int index) const { return archive_->HasVerifiedZlibStream(index); }

  // Where the entry's bytes lie in the file as stored. Throws "The archive appears to be
  // corrupted" when they do not lie inside the data area.
  TStoredBlock StoredBlock(int index) const { return archive_->StoredBlock(index); }
  // Those bytes, for writing the entry unchanged into another document. Throws as StoredBlock.
  std::vector<std::byte> StoredBytes(int index) const;
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
  // The archive path of the start page (StartPageArchivePath of the options' start page).
  const std::string& StartPage() const;

 private:
  std::unique_ptr<const IDocumentArchive> archive_;
  mutable std::once_flag optionsRead_;
  mutable TProjectOptions options_;
  mutable std::string startPage_;
};

// Opens the document at path. Throws EZLBArchiveError with the reader's messages when the file
// carries no readable document.
std::shared_ptr<const TDocument> OpenDocument(const std::filesystem::path& path);

// The document the viewer's reader (or a command's) has open, over the same descriptor and
// registry, so that the file is opened once. Throws EZLBArchiveError "No archive is currently
// open".
std::shared_ptr<const TDocument> ShareDocument(const TZLBArc2& reader);

}  // namespace tomelet
