// The counted terms of a share's sections, kept in order from the first page read until every
// page is counted and their weights can be known. Up to a bound they stay in memory; beyond it
// they wait in a file of the build's scratch folder, so that indexing a very large site takes
// bounded memory, as adding the documents at once did.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

#include "search/IndexFormat.h"

namespace tomelet::search {

class TCountedSections {
 public:
  // heldBytes: how many bytes of terms stay in memory; the rest go to the file at spill.
  TCountedSections(std::filesystem::path spill, std::size_t heldBytes);
  TCountedSections(const TCountedSections&) = delete;
  TCountedSections& operator=(const TCountedSections&) = delete;
  ~TCountedSections();

  // Throws ESearchIndexError when the scratch file cannot be written.
  void Add(format::TCountedTerms terms);
  // The sum of the sections' lengths.
  std::uint64_t Length() const { return length_; }
  // Hands over each section's terms in the order added, then forgets them all. Throws
  // ESearchIndexError when the scratch file cannot be read back.
  void Drain(const std::function<void(const format::TCountedTerms&)>& take);

 private:
  void Spill();

  const std::filesystem::path spill_;
  const std::size_t heldBytes_;
  std::vector<format::TCountedTerms> held_;
  std::size_t heldSize_ = 0;
  std::uint64_t length_ = 0;
  std::uint64_t spilled_ = 0;  // sections in the file, all before those held
};

}  // namespace tomelet::search
