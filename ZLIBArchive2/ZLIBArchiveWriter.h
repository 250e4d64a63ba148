// The authoring side of the archive format: builds version 2 (or, for tests, version 1)
// containers entry by entry.
#pragma once

#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZLIBArchive2/EntryDeflater.h"
#include "ZLIBArchive2/ZLIBArchive2.h"

namespace tomelet {

class TZLBArchiveWriter {
 public:
  struct Options {
    int Version = 2;
    bool CompressRegistry = true;
    // Threads that deflate entries while the caller goes on adding them; 0 or 1 deflates each
    // entry inside AddEntry. The archive's bytes are the same for every count.
    unsigned Threads = 1;
  };

  TZLBArchiveWriter() : TZLBArchiveWriter(Options{}) {}
  explicit TZLBArchiveWriter(Options options);
  ~TZLBArchiveWriter();
  TZLBArchiveWriter(const TZLBArchiveWriter&) = delete;
  TZLBArchiveWriter& operator=(const TZLBArchiveWriter&) = delete;
  TZLBArchiveWriter(TZLBArchiveWriter&&) noexcept;
  TZLBArchiveWriter& operator=(TZLBArchiveWriter&&) noexcept;

  // Adds an entry under its archive path ("images\help.jpg"). fcNone stores it; any other level
  // deflates it unless the deflated stream would not be smaller, then it is stored. With
  // several threads the contents are copied and deflated later; a failure to deflate is thrown
  // from a later call.
  void AddEntry(std::string_view archivePath, std::span<const std::byte> contents,
                TFileCompressionLevel level = fcDefault);
  void AddEntry(std::string_view archivePath, std::string_view contents,
                TFileCompressionLevel level = fcDefault) {
    AddEntry(archivePath, AsBytes(contents), level);
  }
  // The same, taking the contents over instead of copying them for the threads.
  void AddEntry(std::string_view archivePath, std::vector<std::byte>&& contents,
                TFileCompressionLevel level = fcDefault);
  // Adds a record and its data block exactly as given; Offset is assigned by the writer. For
  // fixtures that a well-behaved writer never makes (encrypted methods, wrong sizes or CRCs).
  void AddRawEntry(TArchiveEntry entry, std::span<const std::byte> data);

  // Writes data area, registry and trailer at the stream's position.
  void WriteTo(TStream& out) const;
  std::vector<std::byte> Bytes() const;
  // Writes the archive to path, after a copy of the prefix file when one is given.
  void WriteFile(const std::string& path, const std::string& prefixFile = {}) const;

  std::size_t EntryCount() const { return entries_.size() + pending_.size(); }

 private:
  struct TPendingEntry {
    TArchiveEntry Entry;
    std::size_t Size;
    std::future<deflater::TPackedEntry> Packed;
  };
  // The entry's record before its data is known. Throws when the record cannot be stored (too
  // many entries, names too long).
  TArchiveEntry NewRecord(std::string_view archivePath, std::size_t size,
                          TFileCompressionLevel level) const;
  void CheckRecord(const TArchiveEntry& entry) const;
  void Submit(TArchiveEntry entry, std::vector<std::byte> contents, TFileCompressionLevel level);
  void Place(TArchiveEntry entry, deflater::TPackedEntry packed) const;
  // Waits for the oldest entry being deflated and places it; throws what deflating threw.
  void SettleFirst() const;
  void SettleAll() const;
  // The registry's records, deflated unless the options say otherwise.
  std::vector<std::byte> Registry() const;

  Options options_;
  // Entries still being deflated are already part of the archive; writing waits for them, which
  // is why they are kept in mutable members.
  mutable std::vector<TArchiveEntry> entries_;
  // The data area as the entries' blocks, one after another: appending never moves what is there.
  mutable std::vector<std::vector<std::byte>> data_;
  mutable std::size_t dataSize_ = 0;
  mutable std::deque<TPendingEntry> pending_;
  mutable std::size_t pendingBytes_ = 0;
  std::unique_ptr<deflater::TDeflateWorkers> workers_;
};

}  // namespace tomelet
