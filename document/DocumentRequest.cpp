#include "document/DocumentRequest.h"

#include <algorithm>
#include <new>

#include "ZLIBArchive2/EntryChecks.h"
#include "document/DocumentAddress.h"
#include "platform/mime/MimeTable.h"

namespace tomelet {

namespace {

// The address with every "+" escaped, so that decoding keeps it as a "+".
std::string WithPlusKept(std::string_view relativeAddress) {
  std::string escaped;
  for (const char c : relativeAddress)
    escaped += c == '+' ? std::string_view("%2B") : std::string_view(&c, 1);
  return escaped;
}

bool IsHeldWhole(const TEntryView& entry, const TTempFileWriter& writeTempFile) {
  const bool encrypted =
      entry.Method == kMethodDeflatedEncrypted || entry.Method == kMethodStoredEncrypted;
  return entry.OriginalSize <= kLargestHeldEntry || writeTempFile || encrypted;
}

void ReadContents(const IDocumentEntries& entries, const TTempFileWriter& writeTempFile,
                  TDocumentReply& reply) {
  const TFoundEntry& found = reply.Location.Entry;
  if (IsHeldWhole(entries.Entry(found.Index), writeTempFile))
    entries.Extract(found.Index, found.ArchivePath, reply.Contents);
  else
    reply.LargeContents = entries.OpenContents(found.Index);
}

}  // namespace

// Decoding reads "+" as a space; when that names no entry, the "+" is taken as written, since file
// names such as "c++.htm" hold real ones.
TEntryLocation LocateEntry(const IDocumentEntries& entries, std::string_view relativeAddress) {
  TEntryLocation location;
  location.RequestedPath = RelativeAddressToArchivePath(relativeAddress);
  location.Entry = FindEntry(entries, location.RequestedPath);
  if (!location.Entry.Found() && relativeAddress.find('+') != std::string_view::npos) {
    auto withPlus = FindEntry(entries, RelativeAddressToArchivePath(WithPlusKept(relativeAddress)));
    if (withPlus.Found())
      location.Entry = std::move(withPlus);
  }
  if (location.Entry.Found()) {
    const TEntryView entry = entries.Entry(location.Entry.Index);
    location.StoredPath = entry.ArchivePath();
    location.MimeType = std::string(MimeTypeForFileName(entry.FileName).value_or(""));
    location.Size = ContentSize(entry);
  }
  return location;
}

TDocumentReply RequestDocumentEntry(const IDocumentEntries& entries, std::string_view address,
                                    const TTempFileWriter& writeTempFile) {
  TDocumentReply reply;
  const auto prefix = std::min(address.size(), kDocumentUrlPrefix.size());
  reply.Location = LocateEntry(entries, address.substr(prefix));
  if (!reply.Location.Entry.Found())
    return reply;
  try {
    ReadContents(entries, writeTempFile, reply);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    reply.Status = TDocumentReply::TStatus::Unreadable;
    return reply;
  }
  if (writeTempFile) {
    try {
      reply.TempFileName = writeTempFile(reply.Location.StoredPath, reply.Contents.Bytes());
    } catch (const std::bad_alloc&) {
      throw;
    } catch (...) {
      reply.Status = TDocumentReply::TStatus::FileFailed;
      return reply;
    }
  }
  reply.Status = TDocumentReply::TStatus::Served;
  return reply;
}

}  // namespace tomelet
