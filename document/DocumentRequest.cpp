#include "document/DocumentRequest.h"

#include <algorithm>
#include <new>

#include "document/DocumentAddress.h"
#include "platform/mime/MimeTable.h"

namespace tomelet {

TEntryLocation LocateEntry(const IDocumentEntries& entries, std::string_view relativeAddress) {
  TEntryLocation location;
  location.RequestedPath = RelativeAddressToArchivePath(relativeAddress);
  location.Entry = FindEntry(entries, location.RequestedPath);
  if (location.Entry.Found()) {
    const TArchiveEntry& entry = entries.Entry(location.Entry.Index);
    location.StoredPath = entry.ArchivePath();
    location.MimeType = std::string(MimeTypeForFileName(entry.FileName).value_or(""));
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
    entries.Extract(reply.Location.Entry.Index, reply.Location.Entry.ArchivePath, reply.Contents);
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
