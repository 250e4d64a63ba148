// Lookup of registry entries by folded archive path in constant time, whatever the count.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "ZLIBArchive2/ZLIBArchive2.h"

namespace tomelet {

class TEntryIndex {
 public:
  // Indexes entries; of several entries with the same folded path the first one is kept.
  void Build(std::span<const TArchiveEntry> entries);
  void Clear();
  // Index of the first entry whose folded Path + FileName equals the folded name, or -1.
  int Find(std::span<const TArchiveEntry> entries, std::string_view name) const;

 private:
  struct Slot {
    std::int32_t index = -1;
    std::uint32_t hash = 0;
  };
  std::size_t Probe(std::span<const TArchiveEntry> entries, std::uint64_t hash,
                    std::string_view path, std::string_view fileName) const;

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
};

}  // namespace tomelet
