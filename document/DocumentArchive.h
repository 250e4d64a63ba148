// What one container gives a TDocument: its entries, their contents read with positioned reads on
// a descriptor of its own, and where their bytes lie in the file. Nothing here belongs to one
// format: a container's reader lives in a folder of its own, and one class implementing this
// interface puts it behind TDocument.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZLIBArchive2/ZLIBArchive2.h"
#include "platform/files/FileIdentity.h"

namespace tomelet {

// One entry as every container names and sizes it; valid while the document is open.
struct TDocumentEntry {
  std::string_view Folder;    // folders each followed by "\", empty at the top level
  std::string_view FileName;  // 8-bit text as stored
  std::int64_t Size = 0;      // bytes of contents

  // Folder + FileName: the archive path.
  std::string ArchivePath() const;
};

// Bytes lying in the document's file.
struct TFileBlock {
  std::int64_t FileOffset = 0;
  std::int64_t Length = 0;
};

// Every member may be called from any number of threads at once. Damage raises EZLBArchiveError
// with the reader's messages ("The archive appears to be corrupted", "<name> failed CRC check").
class IDocumentArchive {
 public:
  virtual ~IDocumentArchive() = default;

  virtual const std::filesystem::path& FileName() const = 0;
  virtual const TFileIdentity& Identity() const = 0;
  virtual int EntryCount() const = 0;
  // Throws "Index out of bounds".
  virtual TDocumentEntry Entry(int index) const = 0;
  // Index of the first entry whose archive path equals the given one, ASCII case folded, or -1.
  virtual int IndexOf(std::string_view archivePath) const = 0;
  // The whole contents, checked.
  virtual std::vector<std::byte> Contents(int index) const = 0;
  // The contents from byte from on, checked as they are read (the whole of them only from 0).
  virtual std::unique_ptr<TEntryReader> OpenContents(int index, std::int64_t from) const = 0;
  // Reads the entry through once and remembers it sound; throws what Contents throws.
  virtual void CheckWhole(int index) const = 0;
  // Changes whenever the entry's contents do, and only then: for entity tags and caches.
  virtual std::string ContentTag(int index) const = 0;
  // The contents lying unchanged in the file, for handing them on without copying (a server's
  // body, an index opened in place); null when the container keeps them otherwise. Unchecked:
  // CheckWhole first.
  virtual std::optional<TFileBlock> PlainBlock(int index) const = 0;
  // Whether the entry is kept as a zlib stream (HTTP's "deflate" coding), which DeflatedBlock may
  // then offer; cheap.
  virtual bool IsKeptDeflated(int index) const = 0;
  // The entry's zlib stream in the file when it holds exactly its checked contents, so that a
  // client may inflate it itself; null otherwise. Checked on first use, then remembered.
  virtual std::optional<TFileBlock> DeflatedBlock(int index) const = 0;
  // Bytes inflated so far by readers of this document: what range requests cost.
  virtual std::int64_t InflatedBytes() const = 0;
  // Reads up to buffer.size() bytes at an absolute file position.
  virtual std::size_t ReadAt(std::int64_t fileOffset, std::span<std::byte> buffer) const = 0;
  virtual int Descriptor() const = 0;
};

}  // namespace tomelet
