#include "ZLIBArchive2/EntryIndex.h"

#include <bit>

#include "platform/text/AsciiCase.h"

namespace tomelet {

namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;

std::uint64_t HashFolded(std::uint64_t hash, std::string_view text) {
  for (const char c : text) {
    hash = (hash ^ static_cast<unsigned char>(FoldAsciiLetter(c))) * kFnvPrime;
  }
  return hash;
}

std::uint64_t FinishHash(std::uint64_t hash) {
  hash ^= hash >> 29;
  hash *= 0xBF58476D1CE4E5B9ULL;
  return hash ^ (hash >> 32);
}

// Compares the folded Path + FileName of an entry with the folded split of a name without
// building the joined string.
bool EntryMatches(const TArchiveEntry& entry, std::string_view path, std::string_view fileName) {
  const std::string_view joined[] = {path, fileName};
  const std::string_view stored[] = {entry.Path, entry.FileName};
  if (entry.Path.size() + entry.FileName.size() != path.size() + fileName.size()) {
    return false;
  }
  std::size_t si = 0;
  std::size_t so = 0;
  for (const std::string_view part : joined) {
    for (const char c : part) {
      while (so == stored[si].size()) {
        ++si;
        so = 0;
      }
      if (FoldAsciiLetter(stored[si][so++]) != FoldAsciiLetter(c)) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

std::string FoldArchivePath(std::string_view path) {
  return FoldAscii(path);
}

void TEntryIndex::Clear() {
  slots_.clear();
  mask_ = 0;
}

void TEntryIndex::Build(std::span<const TArchiveEntry> entries) {
  const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(16, entries.size() * 2));
  slots_.assign(capacity, Slot{});
  mask_ = capacity - 1;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TArchiveEntry& entry = entries[i];
    const std::uint64_t hash =
        FinishHash(HashFolded(HashFolded(kFnvOffset, entry.Path), entry.FileName));
    Slot& slot = slots_[Probe(entries, hash, entry.Path, entry.FileName)];
    if (slot.index < 0) {
      slot = Slot{static_cast<std::int32_t>(i), static_cast<std::uint32_t>(hash)};
    }
  }
}

std::size_t TEntryIndex::Probe(std::span<const TArchiveEntry> entries, std::uint64_t hash,
                               std::string_view path, std::string_view fileName) const {
  std::size_t at = static_cast<std::size_t>(hash >> 32) & mask_;
  while (true) {
    const Slot& slot = slots_[at];
    if (slot.index < 0 ||
        (slot.hash == static_cast<std::uint32_t>(hash) &&
         EntryMatches(entries[static_cast<std::size_t>(slot.index)], path, fileName))) {
      return at;
    }
    at = (at + 1) & mask_;
  }
}

int TEntryIndex::Find(std::span<const TArchiveEntry> entries, std::string_view name) const {
  if (slots_.empty()) {
    return -1;
  }
  const std::uint64_t hash = FinishHash(HashFolded(kFnvOffset, name));
  return slots_[Probe(entries, hash, name, {})].index;
}

}  // namespace tomelet
