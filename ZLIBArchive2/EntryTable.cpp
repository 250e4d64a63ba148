#include "ZLIBArchive2/EntryTable.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/text/AsciiCase.h"
#include "platform/text/Fnv1a.h"

namespace tomelet {

namespace {

// Blocks are allocated without being filled, so a small registry touches only the pages its
// paths use.
constexpr std::size_t kBlockSize = std::size_t{1} << 20;

std::uint64_t HashFolded(std::string_view text) {
  std::uint64_t hash = kFnv1aOffset;
  for (const char c : text) {
    hash = Fnv1aByte(hash, static_cast<unsigned char>(FoldAsciiLetter(c)));
  }
  hash ^= hash >> 29;
  hash *= 0xBF58476D1CE4E5B9ULL;
  return hash ^ (hash >> 32);
}

}  // namespace

void RaiseRegistryTooLarge() {
  throw ERegistryTooLarge(
      "The archive's registry is larger than this program reads (at most 1000000 entries and "
      "128 MiB of entry names)");
}

std::string FoldArchivePath(std::string_view path) {
  return FoldAscii(path);
}

std::string TEntryView::ArchivePath() const {
  std::string joined(Path);
  return joined.append(FileName);
}

TArchiveEntry TEntryView::Record() const {
  return {.FileName = std::string(FileName),
          .Path = std::string(Path),
          .OriginalSize = OriginalSize,
          .CompressedSize = CompressedSize,
          .DecryptSize = DecryptSize,
          .Offset = Offset,
          .CRC = CRC,
          .Method = Method,
          .Level = Level};
}

void TEntryTable::Reserve(std::size_t count) {
  records_.reserve(std::min(count, static_cast<std::size_t>(kMaxRegistryEntries)));
}

void TEntryTable::Clear() {
  *this = TEntryTable();
}

std::uint32_t TEntryTable::StorePath(std::string_view path, std::string_view fileName) {
  const std::size_t length = path.size() + fileName.size();
  if (blocks_.empty() || kBlockSize - blockUsed_ < length) {
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
    blockUsed_ = 0;
  }
  char* at = blocks_.back().get() + blockUsed_;
  std::memcpy(at, path.data(), path.size());
  std::memcpy(at + path.size(), fileName.data(), fileName.size());
  const auto position = static_cast<std::uint32_t>((blocks_.size() - 1) * kBlockSize + blockUsed_);
  blockUsed_ += length;
  return position;
}

void TEntryTable::Add(const TArchiveEntry& entry) {
  const auto length = static_cast<std::int64_t>(entry.Path.size() + entry.FileName.size());
  if (static_cast<std::int64_t>(records_.size()) >= kMaxRegistryEntries ||
      pathBytes_ + length > kMaxRegistryPathBytes) {
    RaiseRegistryTooLarge();
  }
  pathBytes_ += length;
  records_.push_back({.OriginalSize = entry.OriginalSize,
                      .CompressedSize = entry.CompressedSize,
                      .DecryptSize = entry.DecryptSize,
                      .Offset = entry.Offset,
                      .PathAt = StorePath(entry.Path, entry.FileName),
                      .CRC = entry.CRC,
                      .PathLength = static_cast<std::uint8_t>(entry.Path.size()),
                      .FileNameLength = static_cast<std::uint8_t>(entry.FileName.size()),
                      .Method = entry.Method,
                      .Level = entry.Level});
}

std::string_view TEntryTable::ArchivePathOf(std::size_t index) const {
  const Record& record = records_[index];
  const char* block = blocks_[record.PathAt / kBlockSize].get();
  return {block + record.PathAt % kBlockSize,
          static_cast<std::size_t>(record.PathLength) + record.FileNameLength};
}

TEntryView TEntryTable::At(std::size_t index) const {
  const Record& record = records_[index];
  const std::string_view archivePath = ArchivePathOf(index);
  return {.FileName = archivePath.substr(record.PathLength),
          .Path = archivePath.substr(0, record.PathLength),
          .OriginalSize = record.OriginalSize,
          .CompressedSize = record.CompressedSize,
          .DecryptSize = record.DecryptSize,
          .Offset = record.Offset,
          .CRC = record.CRC,
          .Method = record.Method,
          .Level = record.Level};
}

void TEntryTable::BuildIndex() {
  const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(16, records_.size() * 2));
  slots_.assign(capacity, Slot{});
  mask_ = capacity - 1;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    const std::string_view archivePath = ArchivePathOf(i);
    const std::uint64_t hash = HashFolded(archivePath);
    Slot& slot = slots_[Probe(hash, archivePath)];
    if (slot.Index < 0) {
      slot = Slot{static_cast<std::int32_t>(i), static_cast<std::uint32_t>(hash)};
    }
  }
}

std::size_t TEntryTable::Probe(std::uint64_t hash, std::string_view archivePath) const {
  std::size_t at = static_cast<std::size_t>(hash >> 32) & mask_;
  while (true) {
    const Slot& slot = slots_[at];
    if (slot.Index < 0 ||
        (slot.Hash == static_cast<std::uint32_t>(hash) &&
         EqualsFoldedAscii(ArchivePathOf(static_cast<std::size_t>(slot.Index)), archivePath))) {
      return at;
    }
    at = (at + 1) & mask_;
  }
}

int TEntryTable::Find(std::string_view name) const {
  if (slots_.empty()) {
    return -1;
  }
  return slots_[Probe(HashFolded(name), name)].Index;
}

}  // namespace tomelet
