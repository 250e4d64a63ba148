// An open archive read once, then shared by any number of threads without locks: the format's
// half of a document handle. It keeps one descriptor on the file (the reader's, when a TZLBArc2
// opened it) and reads entry bytes with positioned reads.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "ZLIBArchive2/EntryTable.h"
#include "ZLIBArchive2/SeekPoints.h"
#include "ZLIBArchive2/ZLIBArchive2.h"
#include "platform/files/FileIdentity.h"

namespace tomelet {

// Where an entry's bytes lie in the file exactly as stored: its zlib stream for a deflated
// entry, its contents for a stored one.
struct TStoredBlock {
  std::int64_t FileOffset = 0;
  std::int64_t Length = 0;
};

class TArchiveSnapshot {
 public:
  // Opens path without checking the archive's CRC. Raises EZLBArchiveError with the reader's
  // messages when the file carries no readable archive.
  static std::shared_ptr<const TArchiveSnapshot> Open(const std::filesystem::path& path);
  // The archive read from file, which the snapshot keeps.
  TArchiveSnapshot(const std::filesystem::path& path, std::unique_ptr<TFileStream> file,
                   const TArchiveTrailer& trailer, std::int64_t archiveStart, TEntryTable entries);
  ~TArchiveSnapshot();
  TArchiveSnapshot(const TArchiveSnapshot&) = delete;
  TArchiveSnapshot& operator=(const TArchiveSnapshot&) = delete;

  const std::filesystem::path& FileName() const { return path_; }
  const TArchiveTrailer& Trailer() const { return trailer_; }
  // Where the archive begins in the file: 0, or the length of the program it is appended to.
  std::int64_t ArchiveStart() const { return archiveStart_; }
  int EntryCount() const { return static_cast<int>(entries_.Size()); }
  const TEntryTable& Entries() const { return entries_; }
  // Raises "Index out of bounds".
  TEntryView Entry(int index) const;
  // Index of the first entry whose folded archive path equals the folded name, or -1.
  int IndexOf(std::string_view archivePath) const;

  // The file as it was when opened, for telling a replaced or changed file.
  const TFileIdentity& Identity() const { return identity_; }

  // Whether the entry is a plain zlib stream (method 0), one a client could inflate itself; the
  // encrypted methods hold none.
  bool IsDeflated(int index) const;
  // The whole contents, checked as the reader checks them: raises "The archive appears to be
  // corrupted" for damaged data or a stream that ends before the entry's size, "<name> failed CRC
  // check" for bytes that do not match their CRC, and the reader's message for encrypted entries.
  // A stream that goes on past the size gives its first OriginalSize bytes.
  std::vector<std::byte> Contents(int index) const;
  // The contents from byte from on, checked in the same way as they are read; the CRC only when
  // they are read from the first byte, the damage found at the end raised in place of the last
  // piece. A large deflated entry resumes at the nearest seek point left by earlier readers, so
  // repeated reads near its end cost about what they read.
  std::unique_ptr<TEntryReader> OpenContents(int index, std::int64_t from = 0) const;
  // OpenContents without the CRC check, for a reader told not to verify.
  std::unique_ptr<TEntryReader> OpenUncheckedContents(int index, std::int64_t from) const;
  // The whole file as a stream with a position of its own, read with positioned reads.
  std::unique_ptr<TStream> OpenFileStream() const;

  // Reads the entry through once, checked as Contents checks it, without holding it, and
  // remembers it sound; raises what Contents raises. For serving an entry from the file as it
  // is stored, after a check that costs one read of it.
  void CheckWhole(int index) const;

  // True once a reader has inflated the entry to its size and found that its zlib stream goes
  // on (or is damaged) past it: the entry reads as its first OriginalSize bytes, which verify
  // notes.
  bool StreamGoesOnPastSize(int index) const;

  // True when the deflated entry's zlib stream ends exactly at CompressedSize and inflates to
  // OriginalSize bytes that match its CRC, so that it can be handed out as it is. Checked on
  // first use, then remembered.
  bool HasVerifiedZlibStream(int index) const;
  // The entry's bytes as stored (StoredLength). Raises "The archive appears to be corrupted" when
  // they do not lie inside the data area.
  TStoredBlock StoredBlock(int index) const;
  // Bytes produced so far by inflating readers over this document: the work ranges cost.
  std::int64_t InflatedBytes() const { return inflated_.load(std::memory_order_relaxed); }
  // Reads up to buffer.size() bytes at an absolute file position.
  std::size_t ReadAt(std::int64_t fileOffset, std::span<std::byte> buffer) const;
  // The open descriptor, for readers that take a file in place (the search index); it stays the
  // snapshot's own and is only read with positioned reads.
  int Descriptor() const { return file_->Descriptor(); }

 private:
  enum class Verdict : std::uint8_t { Unknown, Valid, Invalid };

  bool CheckZlibStream(int index) const;
  std::int64_t DataEnd() const { return archiveStart_ + dataSize_; }

  std::filesystem::path path_;
  std::unique_ptr<TFileStream> file_;
  TFileIdentity identity_;
  TArchiveTrailer trailer_;
  std::int64_t archiveStart_ = 0;
  std::int64_t dataSize_ = 0;
  TEntryTable entries_;
  std::unique_ptr<std::atomic<Verdict>[]> verdicts_;
  std::unique_ptr<std::atomic<bool>[]> checkedWhole_;
  std::unique_ptr<std::atomic<bool>[]> goesOn_;
  mutable TSeekPoints seekPoints_;
  mutable std::atomic<std::int64_t> inflated_ = 0;
};

}  // namespace tomelet
