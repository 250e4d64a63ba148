#include "search/CountedSections.h"

#include <fstream>
#include <system_error>

#include "search/SearchIndex.h"

namespace tomelet::search {
namespace {

// Each section in the scratch file: its length, the size of its terms, then the terms, in this
// machine's byte order, since the file is read back by the process that wrote it.
void WriteNumber(std::ofstream& out, std::uint64_t number) {
  out.write(reinterpret_cast<const char*>(&number), sizeof number);
}

std::uint64_t ReadNumber(std::ifstream& in) {
  std::uint64_t number = 0;
  in.read(reinterpret_cast<char*>(&number), sizeof number);
  return number;
}

format::TCountedTerms ReadSection(std::ifstream& in) {
  format::TCountedTerms terms;
  terms.Length = ReadNumber(in);
  terms.Encoded.resize(ReadNumber(in));
  in.read(terms.Encoded.data(), static_cast<std::streamsize>(terms.Encoded.size()));
  return terms;
}

}  // namespace

TCountedSections::TCountedSections(std::filesystem::path spill, std::size_t heldBytes)
    : spill_(std::move(spill)), heldBytes_(heldBytes) {}

TCountedSections::~TCountedSections() {
  std::error_code ignored;
  std::filesystem::remove(spill_, ignored);
}

void TCountedSections::Add(format::TCountedTerms terms) {
  length_ += terms.Length;
  heldSize_ += terms.Encoded.size();
  held_.push_back(std::move(terms));
  if (heldSize_ > heldBytes_) {
    Spill();
  }
}

void TCountedSections::Spill() {
  std::ofstream out(spill_, std::ios::binary | (spilled_ > 0 ? std::ios::app : std::ios::trunc));
  for (const auto& terms : held_) {
    WriteNumber(out, terms.Length);
    WriteNumber(out, terms.Encoded.size());
    out.write(terms.Encoded.data(), static_cast<std::streamsize>(terms.Encoded.size()));
  }
  out.close();
  if (!out) {
    throw ESearchIndexError("Cannot write the search index's scratch file");
  }
  spilled_ += held_.size();
  held_.clear();
  heldSize_ = 0;
}

void TCountedSections::Drain(const std::function<void(const format::TCountedTerms&)>& take) {
  if (spilled_ > 0) {
    std::ifstream in(spill_, std::ios::binary);
    for (std::uint64_t section = 0; section < spilled_; ++section) {
      const format::TCountedTerms terms = ReadSection(in);
      if (!in) {
        throw ESearchIndexError("Cannot read the search index's scratch file");
      }
      take(terms);
    }
  }
  for (const auto& terms : held_) {
    take(terms);
  }
  held_ = {};
  heldSize_ = 0;
  spilled_ = 0;
  std::error_code ignored;
  std::filesystem::remove(spill_, ignored);
}

}  // namespace tomelet::search
