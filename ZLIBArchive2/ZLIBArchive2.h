// The document archive: container format records and the reader component TZLBArc2.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/streams/Streams.h"

namespace tomelet {

// Every failure of the reader carries one of its fixed texts.
class EZLBArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised by OpenArchive for a registry past the documented limits on entries and name bytes.
class ERegistryTooLarge : public EZLBArchiveError {
 public:
  using EZLBArchiveError::EZLBArchiveError;
};

enum TFileCompressionLevel : std::uint8_t {
  fcNone = 0,
  fcFastest = 1,
  fcDefault = 2,
  fcMaximum = 3
};

inline constexpr std::size_t kTrailerSize = 36;
inline constexpr std::size_t kEntryRecordSizeV2 = 550;
inline constexpr std::size_t kEntryRecordSizeV1 = 532;

enum TEntryMethod : std::uint8_t {
  kMethodDeflated = 0,
  kMethodStored = 1,
  kMethodDeflatedEncrypted = 2,
  kMethodStoredEncrypted = 3,
};

// One registry record in its version 2 form; version 1 records are widened when read.
struct TArchiveEntry {
  std::string FileName;  // short string, 8-bit text as stored
  std::string Path;      // folders, each followed by "\", empty at the top level
  std::int64_t OriginalSize = 0;
  std::int64_t CompressedSize = 0;
  std::int64_t DecryptSize = 0;
  std::int64_t Offset = 0;
  std::uint32_t CRC = 0;
  std::uint8_t Method = kMethodDeflated;
  std::uint8_t Level = fcDefault;

  std::string ArchivePath() const { return Path + FileName; }
};

// One entry of an open registry as it is held, without copying its names; valid while the
// registry is open.
struct TEntryView {
  std::string_view FileName;
  std::string_view Path;
  std::int64_t OriginalSize = 0;
  std::int64_t CompressedSize = 0;
  std::int64_t DecryptSize = 0;
  std::int64_t Offset = 0;
  std::uint32_t CRC = 0;
  std::uint8_t Method = kMethodDeflated;
  std::uint8_t Level = fcDefault;

  std::string ArchivePath() const;
  // An owning copy of the record.
  TArchiveEntry Record() const;
};

// The trailer in its version 2 form; a version 1 trailer is widened when read.
struct TArchiveTrailer {
  std::uint32_t ArchiveCRC = 0;
  std::int32_t EntryCount = 0;
  std::int32_t Version = 0;
  std::int32_t RegistrySize = 0;
  std::int64_t DataSize = 0;
  std::uint8_t RegistryCompressed = 0;
};

using TNotifyEvent = std::function<void(class TZLBArc2& sender)>;
using TFileExtractedEvent = std::function<void(const std::string& filename)>;
using TStreamDecryptEvent = std::function<void(TStream& strmIn, TStream& strmOut,
                                               std::uint32_t size, const std::string& password)>;
using TProgressEvent = std::function<void(const std::string& msg, int percentage)>;

// ASCII-only lower-casing used by every archive path comparison.
std::string FoldArchivePath(std::string_view path);

// CRC-32 of stream bytes from start up to size - tail, in 10240-byte blocks; the stream's
// position is restored afterwards.
std::uint32_t StreamCRC32(TStream& stream, std::int64_t start, std::int64_t tail);

// Reads one entry's contents front to back in pieces, for entries too large to hold at once.
class TEntryReader {
 public:
  virtual ~TEntryReader() = default;
  // Fills up to buffer.size() bytes; 0 only at the end of the contents. Damaged data raises
  // "The archive appears to be corrupted", the damage found at the end on the read that would
  // have delivered the last bytes.
  virtual std::size_t Read(std::span<std::byte> buffer) = 0;
};

class TEntryTable;
class TArchiveSnapshot;

class TZLBArc2 {
 public:
  TZLBArc2();
  virtual ~TZLBArc2();
  TZLBArc2(const TZLBArc2&) = delete;
  TZLBArc2& operator=(const TZLBArc2&) = delete;

  // What the reader consults: the two Verify flags, SavePaths (entry lookup), Password (handed to
  // OnDecryptStream; blank refuses encrypted entries) and TempDir (the temporary folder).
  bool VerifyArchiveCRC = true;
  bool VerifyFileCRC = false;
  bool SavePaths = false;
  std::string Password;
  std::string TempDir;
  // Settings of a writer, which this reader is not; the main window sets them when it creates
  // the reader, and nothing reads them.
  int MaxMemoryUsage = 20;
  TFileCompressionLevel CompressionLevel = fcDefault;
  bool ExtractWithPath = false;

  TNotifyEvent OnArchiveOpened;
  TFileExtractedEvent OnStreamExtracted;
  TStreamDecryptEvent OnDecryptStream;
  TProgressEvent OnProgress;

  // Opens the file once: pages, entry readers and Snapshot() all read through that descriptor.
  bool OpenArchive(const std::string& fileName);
  void CloseArchive();
  int EntryCount() const;
  TArchiveEntry GetEntry(int index) const;
  // Index access without copying, for listing large registries. Raises "Index out of bounds".
  TEntryView EntryAt(int index) const;
  // Writes the entry's contents, its first OriginalSize bytes, to dest. Damaged data, or a stream
  // that ends before the entry's size, raises "The archive appears to be corrupted"; with
  // VerifyFileCRC a wrong checksum raises "<name> failed CRC check".
  bool ExtractEntry(int index, TStream& dest, TStream* archiveStream = nullptr);
  void ExtractToStream(TMemoryStream& dest, const std::string& name);
  int IndexOfEntry(const std::string& name) const;
  std::int64_t ArchivePosition(std::int64_t offset) const;
  std::string GetTempFolder() const;
  virtual std::string MakeTempFileName();
  virtual void ListFolder(const std::string& folder, std::vector<std::string>& list);

  const std::string& ArchiveFileName() const { return archiveFileName_; }
  const TArchiveTrailer& Trailer() const { return trailer_; }
  // The open archive over the reader's own descriptor and registry, for readers on other threads
  // (the search index); it stays readable after this archive is closed. Null when none is open.
  std::shared_ptr<const TArchiveSnapshot> Snapshot() const;

 private:
  // Reads the archive from the file, which the snapshot then keeps.
  bool OpenFile(std::unique_ptr<TFileStream> file);

  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string archiveFileName_;
  TArchiveTrailer trailer_;
};

}  // namespace tomelet
