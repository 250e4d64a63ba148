#include "document/DocumentFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "ZLIBArchive2/ArchiveFormat.h"
#include "platform/text/AsciiCase.h"

namespace tomelet {
namespace {

constexpr std::string_view kVersionMessage = "The archive was created with a different version";
constexpr std::string_view kTooLargeMessage = "The archive's registry is larger";
// Format versions a later release could plausibly have written; a larger number is the bytes of
// something else read as a trailer.
constexpr std::int32_t kLastPlausibleVersion = 255;

[[noreturn]] void Refuse(const std::string& seems, std::string_view readerMessage = {}) {
  throw EDocumentFileError(seems, std::string(readerMessage));
}

std::string KindOf(mode_t mode) {
  switch (mode & S_IFMT) {
    case S_IFDIR:
      return "is a folder, not a document (tomelet pack makes a document of a folder)";
    case S_IFIFO:
      return "is a pipe, not a document file: documents are read by position, so save it to a "
             "file first";
    case S_IFCHR:
      return "is a character device, not a document file";
    case S_IFBLK:
      return "is a block device, not a document file";
    case S_IFSOCK:
      return "is a socket, not a document file";
    default:
      return "is not a regular file";
  }
}

// What lies at both ends of the file, read without trusting any of it.
struct TFileEnds {
  std::int64_t size = 0;
  std::array<std::byte, 4> head{};
  std::array<std::byte, kTrailerSize> tail{};
};

bool ReadEnds(const std::filesystem::path& path, TFileEnds& ends) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  struct stat status {};
  bool read = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  if (read) {
    ends.size = status.st_size;
    try {
      ReadFullyAt(fd, 0, ends.head);
      if (ends.size >= static_cast<std::int64_t>(kTrailerSize)) {
        ReadFullyAt(fd, ends.size - static_cast<std::int64_t>(kTrailerSize), ends.tail);
      }
    } catch (const EStreamError&) {
      read = false;
    }
  }
  ::close(fd);
  return read;
}

// A zlib header as the writer puts before the first entry of a document.
bool StartsWithZlibHeader(const TFileEnds& ends) {
  const auto method = std::to_integer<unsigned>(ends.head[0]);
  const auto flags = std::to_integer<unsigned>(ends.head[1]);
  return ends.size >= 2 && method == 0x78 && (method * 256 + flags) % 31 == 0;
}

bool StartsAsProgram(std::span<const std::byte> head) {
  return head.size() >= 4 && std::memcmp(head.data(),
                                         "\x7f"
                                         "ELF",
                                         4) == 0;
}

// A trailer of a known version whose sizes fit in the file, as a program's appended document
// has; the bytes at the end of any other program read as nothing like one.
bool HasPlausibleTrailer(const TFileEnds& ends) {
  if (ends.size < static_cast<std::int64_t>(kTrailerSize)) {
    return false;
  }
  const TArchiveTrailer trailer = format::DecodeTrailer(ends.tail);
  return (trailer.Version == 1 || trailer.Version == 2) && trailer.EntryCount > 0 &&
         trailer.RegistrySize > 0 && trailer.DataSize >= 0 &&
         trailer.DataSize + trailer.RegistrySize + static_cast<std::int64_t>(kTrailerSize) <=
             ends.size;
}

std::string CutShortOrForeign(const TFileEnds& ends) {
  if (StartsWithZlibHeader(ends)) {
    return "seems to be a Tomelet document cut short: it ends before its trailer";
  }
  if (ends.size >= 4 && StartsAsProgram(ends.head)) {
    return "is a program with no Tomelet document attached to it";
  }
  return "is not a Tomelet document";
}

// What the file seems to be, and whether the reader's message says more than that: a version
// read from a file that is no document, or a stream's read error, only mislead.
std::pair<std::string, bool> WhatItSeemsToBe(const TFileEnds& ends,
                                             std::string_view readerMessage) {
  if (ends.size == 0) {
    return {"is empty, not a Tomelet document", false};
  }
  if (ends.size < static_cast<std::int64_t>(kTrailerSize)) {
    return {CutShortOrForeign(ends), false};
  }
  const TArchiveTrailer trailer = format::DecodeTrailer(ends.tail);
  if (readerMessage.starts_with(kVersionMessage)) {
    if (trailer.Version > 2 && trailer.Version <= kLastPlausibleVersion) {
      return {"seems to be a Tomelet document of a later format (version " +
                  std::to_string(trailer.Version) + ") than this tomelet reads",
              true};
    }
    return {CutShortOrForeign(ends), false};
  }
  if (readerMessage.starts_with(kTooLargeMessage)) {
    return {"is a Tomelet document larger than this program reads", true};
  }
  const std::int64_t room = ends.size - static_cast<std::int64_t>(kTrailerSize);
  if (trailer.DataSize > room || trailer.RegistrySize > room - trailer.DataSize) {
    return {
        "seems to be a Tomelet document cut short: its trailer counts more bytes than the "
        "file holds",
        true};
  }
  return {"seems to be a damaged Tomelet document", true};
}

}  // namespace

bool HasDocumentExtension(std::string_view name) {
  return name.size() > kDocumentExtension.size() &&
         EqualsFoldedAscii(name.substr(name.size() - kDocumentExtension.size()),
                           kDocumentExtension);
}

bool IsProgramWithDocument(const std::filesystem::path& path) {
  TFileEnds ends;
  return ReadEnds(path, ends) && ends.size >= 4 && StartsAsProgram(ends.head) &&
         HasPlausibleTrailer(ends);
}

void CheckDocumentFile(const std::filesystem::path& path) {
  if (path.empty()) {
    Refuse("No document named: FILE is empty");
  }
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      Refuse("Archive file not found: " + path.string());
    }
    Refuse(path.string() + " cannot be read: " + std::strerror(errno));
  }
  if (!S_ISREG(status.st_mode)) {
    Refuse(path.string() + " " + KindOf(status.st_mode));
  }
}

void ExplainRefusal(const std::filesystem::path& path, std::string_view readerMessage) {
  TFileEnds ends;
  if (!ReadEnds(path, ends)) {
    const int error = errno;
    Refuse(path.string() + " cannot be read: " + std::strerror(error), readerMessage);
  }
  const auto [seems, telling] = WhatItSeemsToBe(ends, readerMessage);
  Refuse(path.string() + " " + seems, telling ? readerMessage : std::string_view());
}

}  // namespace tomelet
