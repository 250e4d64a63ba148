#include "document/DocumentRequest.h"

#include <algorithm>
#include <array>
#include <new>
#include <vector>

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

// An encrypted entry raises as soon as its reader is opened, so it is refused before a reply.
void ReadContents(const TDocument& document, const TTempFileWriter& writeTempFile,
                  TDocumentReply& reply) {
  const int index = reply.Location.Entry.Index;
  if (reply.Location.Size <= kLargestHeldEntry || writeTempFile)
    reply.Contents.Write(document.Contents(index));
  else
    reply.LargeContents = document.OpenContents(index);
}

// The pages a folder address answers with, in the order web servers try them.
constexpr std::array<std::string_view, 2> kFolderIndexPages = {"index.html", "index.htm"};

bool NamesFolder(std::string_view archivePath) {
  return archivePath.empty() || archivePath.ends_with('\\');
}

TFoundEntry FindFolderIndex(const TDocument& document, const std::string& folder) {
  for (const std::string_view page : kFolderIndexPages) {
    if (auto found = document.Find(folder + std::string(page)); found.Found())
      return found;
  }
  return {};
}

// The entry of that exact name, else, for a folder, the folder's index page.
TFoundEntry FindAddressedEntry(const TDocument& document, const std::string& archivePath) {
  TFoundEntry found = document.Find(archivePath);
  if (!found.Found() && NamesFolder(archivePath)) {
    if (auto index = FindFolderIndex(document, archivePath); index.Found())
      return index;
  }
  return found;
}

}  // namespace

// Decoding reads "+" as a space; when that names no entry, the "+" is taken as written, since file
// names such as "c++.htm" hold real ones.
TEntryLocation LocateEntry(const TDocument& document, std::string_view relativeAddress) {
  TEntryLocation location;
  location.RequestedPath = RelativeAddressToArchivePath(relativeAddress);
  std::vector<std::string> forms = {location.RequestedPath};
  if (relativeAddress.find('+') != std::string_view::npos)
    forms.push_back(RelativeAddressToArchivePath(WithPlusKept(relativeAddress)));
  for (const std::string& form : forms) {
    location.Entry = FindAddressedEntry(document, form);
    if (location.Entry.Found())
      break;
  }
  if (!location.Entry.Found()) {
    location.Entry = TFoundEntry{-1, location.RequestedPath};
    location.FolderWithoutSlash =
        !NamesFolder(location.RequestedPath) &&
        std::any_of(forms.begin(), forms.end(), [&](const std::string& form) {
          return FindFolderIndex(document, form + '\\').Found();
        });
  }
  if (location.Entry.Found()) {
    const TDocumentEntry entry = document.Entry(location.Entry.Index);
    location.StoredPath = entry.ArchivePath();
    location.MimeType = std::string(MimeTypeForFileName(entry.FileName).value_or(""));
    location.Size = entry.Size;
  }
  return location;
}

TDocumentReply RequestDocumentEntry(const TDocument& document, std::string_view address,
                                    const TTempFileWriter& writeTempFile) {
  TDocumentReply reply;
  const auto prefix = std::min(address.size(), kDocumentUrlPrefix.size());
  reply.Location = LocateEntry(document, address.substr(prefix));
  if (!reply.Location.Entry.Found())
    return reply;
  try {
    ReadContents(document, writeTempFile, reply);
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
