// The request core: one document address in; the entry's archive path, its bytes, its MIME type
// and, when one is asked for, a temporary file out. The protocol handler, `tomelet serve` and the
// protocol benchmark all go through it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "document/Document.h"
#include "platform/streams/Streams.h"

namespace tomelet {

// Writes an entry's bytes as a temporary file and returns its full name; storedPath is the
// entry's own archive path. Throws when the file cannot be written.
using TTempFileWriter =
    std::function<std::string(const std::string& storedPath, std::span<const std::byte> bytes)>;

// Where an address leads, before any byte is read.
struct TEntryLocation {
  std::string RequestedPath;  // the address mapped to an archive path
  TFoundEntry Entry;          // the form of the path that matched, and its index
  std::string StoredPath;     // the entry's own archive path; empty when not found
  std::string MimeType;       // from the entry's name; empty when the name does not tell
  std::int64_t Size = 0;      // the entry's ContentSize
  // Set when nothing was found but the address, with a "/" added, names a folder that has an
  // index page: a server redirects there, so that the page's relative links resolve.
  bool FolderWithoutSlash = false;
};

// Maps the address after "tome://inpack/" to its entry. An address that names a folder (it ends
// in "/", or it is empty: the document's root) leads to the folder's "index.html", else its
// "index.htm", unless an entry has the exact name. Letter case and the Windows-1252 retry hold
// for the index pages too.
TEntryLocation LocateEntry(const TDocument& document, std::string_view relativeAddress);

// Plain entries larger than this are not held in memory whole: the reply hands out a reader.
inline constexpr std::int64_t kLargestHeldEntry = std::int64_t{16} << 20;

struct TDocumentReply {
  enum class TStatus {
    Served,
    NotFound,
    Unreadable,  // the entry's data is damaged
    FileFailed,  // the temporary file could not be written
  };
  TStatus Status = TStatus::NotFound;
  TEntryLocation Location;
  TMemoryStream Contents;
  // Set instead of Contents for a plain entry above kLargestHeldEntry when no file is asked for;
  // it reads the entry's OriginalSize bytes.
  std::unique_ptr<TEntryReader> LargeContents;
  std::string TempFileName;  // set when a file was asked for and written
};

// Serves one address of the document ("tome://inpack/..."). A file is written only when
// writeTempFile is given; damage that a large entry's reader meets later raises from its Read.
// Fails only on memory exhaustion; every other failure is a status.
TDocumentReply RequestDocumentEntry(const TDocument& document, std::string_view address,
                                    const TTempFileWriter& writeTempFile = nullptr);

}  // namespace tomelet
