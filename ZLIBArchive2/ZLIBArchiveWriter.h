// The authoring side of the archive format: builds version 2 (or, for tests, version 1)
// containers entry by entry.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZLIBArchive2/ZLIBArchive2.h"

namespace tomelet {

class TZLBArchiveWriter {
 public:
  struct Options {
    int Version = 2;
    bool CompressRegistry = true;
  };

  TZLBArchiveWriter() : TZLBArchiveWriter(Options{}) {}
  explicit TZLBArchiveWriter(Options options);

  // Adds an entry under its archive path ("images\help.jpg"). fcNone stores it; any other level
  // deflates it unless the deflated stream would not be smaller, then it is stored.
  void AddEntry(std::string_view archivePath, std::span<const std::byte> contents,
                TFileCompressionLevel level = fcDefault);
  void AddEntry(std::string_view archivePath, std::string_view contents,
                TFileCompressionLevel level = fcDefault) {
    AddEntry(archivePath, AsBytes(contents), level);
  }
  // Adds a record and its data block exactly as given; Offset is assigned by the writer. For
  // fixtures that a well-behaved writer never makes (encrypted methods, wrong sizes or CRCs).
  void AddRawEntry(TArchiveEntry entry, std::span<const std::byte> data);

  // Writes data area, registry and trailer at the stream's position.
  void WriteTo(TStream& out) const;
  std::vector<std::byte> Bytes() const;
  // Writes the archive to path, after a copy of the prefix file when one is given.
  void WriteFile(const std::string& path, const std::string& prefixFile = {}) const;

  std::size_t EntryCount() const { return entries_.size(); }

 private:
  Options options_;
  std::vector<TArchiveEntry> entries_;
  std::vector<std::byte> data_;
};

}  // namespace tomelet
