// The registry in memory: each entry's numbers in a small fixed record, its archive path in a
// store of large blocks, and a hash index over the folded paths. It costs about what the names
// and numbers need (some 80 bytes an entry besides its path), so a reader never holds a registry
// the size of the file's claims, and it moves rather than copies between its owners.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "ZLIBArchive2/ZLIBArchive2.h"

namespace tomelet {

// The most entries and archive-path bytes a registry may hold; past them a document is refused
// with ERegistryTooLarge rather than read into memory it would not fit.
inline constexpr std::int64_t kMaxRegistryEntries = 1'000'000;
inline constexpr std::int64_t kMaxRegistryPathBytes = std::int64_t{128} << 20;

[[noreturn]] void RaiseRegistryTooLarge();

class TEntryTable {
 public:
  TEntryTable() = default;
  TEntryTable(TEntryTable&&) noexcept = default;
  TEntryTable& operator=(TEntryTable&&) noexcept = default;

  // Appends one entry. Throws ERegistryTooLarge past either limit.
  void Add(const TArchiveEntry& entry);
  // Makes room for count entries in advance; the caller bounds count by what the file holds.
  void Reserve(std::size_t count);
  void Clear();
  // Indexes the entries added so far; of several with the same folded path the first is found.
  void BuildIndex();

  std::size_t Size() const { return records_.size(); }
  // The entry at index, which the caller has checked to be below Size().
  TEntryView At(std::size_t index) const;
  // Path + FileName of the entry at index, as stored.
  std::string_view ArchivePathOf(std::size_t index) const;
  // Index of the first entry whose folded archive path equals the folded name, or -1.
  int Find(std::string_view name) const;

 private:
  struct Record {
    std::int64_t OriginalSize;
    std::int64_t CompressedSize;
    std::int64_t DecryptSize;
    std::int64_t Offset;
    std::uint32_t PathAt;
    std::uint32_t CRC;
    std::uint8_t PathLength;
    std::uint8_t FileNameLength;
    std::uint8_t Method;
    std::uint8_t Level;
  };
  struct Slot {
    std::int32_t Index = -1;
    std::uint32_t Hash = 0;
  };

  std::uint32_t StorePath(std::string_view path, std::string_view fileName);
  std::size_t Probe(std::uint64_t hash, std::string_view archivePath) const;

  std::vector<Record> records_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t blockUsed_ = 0;
  std::int64_t pathBytes_ = 0;
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
};

}  // namespace tomelet
