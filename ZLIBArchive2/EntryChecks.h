// The rules by which every reader of an archive accepts an entry's contents: how many bytes an
// entry holds, that its stream ends where its size says, and that its bytes match their CRC. The
// reader, the snapshot and every front end use these, so an entry one of them refuses as damaged
// is refused by all.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "ZLIBArchive2/ZLIBArchive2.h"

namespace tomelet {

// Raises "The archive appears to be corrupted".
[[noreturn]] void RaiseCorrupted();

// The number of bytes an entry's contents hold: its OriginalSize, except that a negative size
// (a version 1 record's 32 bits, sign-extended) counts as empty, as the reader has always given it.
std::int64_t ContentSize(std::int64_t originalSize);
inline std::int64_t ContentSize(const TEntryView& entry) {
  return ContentSize(entry.OriginalSize);
}
inline std::int64_t ContentSize(const TArchiveEntry& entry) {
  return ContentSize(entry.OriginalSize);
}

// Called once an entry's last byte has come out of its inflater. Raises "The archive appears to
// be corrupted" unless the zlib stream ends there, its Adler-32 checked: a stream that would give
// more than the entry's size, or stops short of its end, disagrees with the record. An entry
// without contents reads no stream at all, so it is never asked.
template <typename Inflater>
void ExpectStreamEnd(Inflater& inflater) {
  std::byte extra{};
  if (inflater.Read(std::span(&extra, 1)) != 0 || !inflater.Finished()) {
    RaiseCorrupted();
  }
}

// Raises "<name> failed CRC check" when the whole contents of entry do not match its CRC.
void CheckContentCrc(const TEntryView& entry, std::span<const std::byte> contents);

// Passes contents (an entry's bytes from its first one) through, and checks their CRC on the
// read that delivers the last byte: a wrong checksum raises "<name> failed CRC check" instead of
// handing that last piece out, so a damaged entry never reads as complete.
std::unique_ptr<TEntryReader> CrcCheckedReader(std::unique_ptr<TEntryReader> contents,
                                               const TEntryView& entry);

}  // namespace tomelet
