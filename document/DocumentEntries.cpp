#include "document/DocumentEntries.h"

#include "ZLIBArchive2/EntryChecks.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Codepage.h"

namespace tomelet {

bool IsReservedEntry(std::string_view archivePath) {
  return EqualsFoldedAscii(archivePath, kConfigEntry) ||
         EqualsFoldedAscii(archivePath, kLogoEntry) ||
         EqualsFoldedAscii(archivePath, kIndexEntry) || EqualsFoldedAscii(archivePath, kMapEntry);
}

// A closed archive holds no entries.
int TReaderEntries::IndexOf(std::string_view archivePath) const {
  if (!archive_ || archive_->ArchiveFileName().empty())
    return -1;
  try {
    return archive_->IndexOfEntry(std::string(archivePath));
  } catch (const EZLBArchiveError&) {
    return -1;
  }
}

TEntryView TReaderEntries::Entry(int index) const {
  return archive_->EntryAt(index);
}

void TReaderEntries::Extract(int index, const std::string& archivePath, TMemoryStream& dest) const {
  const auto start = static_cast<std::size_t>(dest.Size());
  archive_->ExtractToStream(dest, archivePath);
  CheckContentCrc(archive_->EntryAt(index), dest.Bytes().subspan(start));
}

std::unique_ptr<TEntryReader> TReaderEntries::OpenContents(int index) const {
  auto contents = archive_->OpenEntryReader(index);
  if (archive_->VerifyFileCRC) {
    return contents;
  }
  return CrcCheckedReader(std::move(contents), archive_->EntryAt(index));
}

TFoundEntry FindEntry(const IDocumentEntries& entries, std::string archivePath) {
  if (const int index = entries.IndexOf(archivePath); index >= 0)
    return {index, std::move(archivePath)};
  if (auto legacy = Utf8ToWindows1252(archivePath); legacy && *legacy != archivePath) {
    if (const int index = entries.IndexOf(*legacy); index >= 0)
      return {index, std::move(*legacy)};
  }
  return {-1, std::move(archivePath)};
}

TProjectOptions ReadDocumentOptions(const IDocumentEntries& entries) {
  TProjectOptions options;
  const std::string name(kConfigEntry);
  if (const int index = entries.IndexOf(kConfigEntry); index >= 0) {
    TMemoryStream record;
    entries.Extract(index, name, record);
    options.Read(record.Bytes());
  }
  return options;
}

bool PasswordMatches(std::string_view typed, std::string_view stored) {
  if (typed == stored)
    return true;
  const auto legacy = Utf8ToWindows1252(typed);
  return legacy && *legacy == stored;
}

}  // namespace tomelet
