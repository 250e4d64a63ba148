// What one container format gives a TDocument: its entries, their contents read with positioned
// reads on a descriptor of its own, and their bytes as stored. A format's reader lives in a folder
// of its own; one class implementing this interface puts it behind TDocument.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "platform/files/FileIdentity.h"

namespace tomelet {

// Every member may be called from any number of threads at once.
class IDocumentArchive {
 public:
  virtual ~IDocumentArchive() = default;

  virtual const std::filesystem::path& FileName() const = 0;
  virtual const TFileIdentity& Identity() const = 0;
  virtual int EntryCount() const = 0;
  // Throws EZLBArchiveError "Index out of bounds".
  virtual TEntryView Entry(int index) const = 0;
  // Index of the first entry whose archive path equals the given one, ASCII case folded, or -1.
  virtual int IndexOf(std::string_view archivePath) const = 0;
  // Whether the entry is stored as a plain zlib stream a client could inflate itself.
  virtual bool IsDeflated(int index) const = 0;
  // The whole contents, checked against size, stream end and CRC. Throws EZLBArchiveError.
  virtual std::vector<std::byte> Contents(int index) const = 0;
  // The contents from byte from on, checked as they are read (the CRC only from byte 0).
  virtual std::unique_ptr<TEntryReader> OpenContents(int index, std::int64_t from) const = 0;
  // Reads the entry through once and remembers it sound; throws what Contents throws.
  virtual void CheckWhole(int index) const = 0;
  virtual bool HasVerifiedZlibStream(int index) const = 0;
  // Throws "The archive appears to be corrupted" when the bytes lie outside the data area.
  virtual TStoredBlock StoredBlock(int index) const = 0;
  virtual std::int64_t InflatedBytes() const = 0;
  virtual std::size_t ReadAt(std::int64_t fileOffset, std::span<std::byte> buffer) const = 0;
  virtual int Descriptor() const = 0;
};

}  // namespace tomelet
