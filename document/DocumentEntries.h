// A document's entries as every front end sees them: the reserved entries, one lookup with the
// Windows-1252 retry, and the options record read from "-config-".
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "ZLIBArchive2/ZLIBArchive2.h"
#include "document/ProjectOptions.h"

namespace tomelet {

// The project options record and the document's icon, which are not pages of the document.
inline constexpr std::string_view kConfigEntry = "-config-";
inline constexpr std::string_view kLogoEntry = "-logo-";
// The name under a document's address where a server offers its logo (unless the document holds
// a file of that name): the one browsers ask every site for.
inline constexpr std::string_view kLogoAddress = "favicon.ico";
// The document's full-text index, stored so that it can be opened in place.
inline constexpr std::string_view kIndexEntry = "-index-";
// The document's contents and keyword index (document/DocumentMap.h).
inline constexpr std::string_view kMapEntry = "-map-";

// Whether an archive path names one of the reserved entries (options, icon, index, map), ASCII
// letter case ignored.
bool IsReservedEntry(std::string_view archivePath);

// The open archive a front end reads from: the viewer's reader (with its events) or a TDocument.
class IDocumentEntries {
 public:
  virtual ~IDocumentEntries() = default;
  // Index of the first entry with that archive path (ASCII case folded), -1 when there is none
  // or no archive is open.
  virtual int IndexOf(std::string_view archivePath) const = 0;
  virtual TEntryView Entry(int index) const = 0;
  // Appends the entry's inflated bytes to dest. Throws EZLBArchiveError for damaged data, a
  // stream that ends before the entry's size and bytes that fail their CRC.
  virtual void Extract(int index, const std::string& archivePath, TMemoryStream& dest) const = 0;
  // The entry's bytes inflated as they are read, on a thread of the caller's choosing. Throws
  // EZLBArchiveError for damaged data and encrypted entries; a wrong CRC throws from the read
  // that would deliver the last bytes.
  virtual std::unique_ptr<TEntryReader> OpenContents(int index) const = 0;
};

// The viewer's reader; without an archive (null) nothing is found. Entries are checked against
// their CRC whatever the reader's VerifyFileCRC says, as every other front end checks them.
class TReaderEntries final : public IDocumentEntries {
 public:
  explicit TReaderEntries(TZLBArc2* archive) : archive_(archive) {}
  int IndexOf(std::string_view archivePath) const override;
  TEntryView Entry(int index) const override;
  // Extracts by name, as the reader's own lookup finds it.
  void Extract(int index, const std::string& archivePath, TMemoryStream& dest) const override;
  std::unique_ptr<TEntryReader> OpenContents(int index) const override;

 private:
  TZLBArc2* archive_;
};

struct TFoundEntry {
  int Index = -1;
  // The form of the path that matched: as given, or its Windows-1252 form.
  std::string ArchivePath;

  bool Found() const { return Index >= 0; }
};

// Looks the path up as given and, when that fails, in the Windows-1252 form that documents made
// on Windows store their names in.
TFoundEntry FindEntry(const IDocumentEntries& entries, std::string archivePath);

// The document's options record; all zero without a "-config-" entry. Throws EZLBArchiveError
// when the entry is damaged.
TProjectOptions ReadDocumentOptions(const IDocumentEntries& entries);

// Whether a typed password opens a document; documents made on Windows keep their password in
// Windows-1252, so the typed text counts in that form too.
bool PasswordMatches(std::string_view typed, std::string_view stored);

}  // namespace tomelet
