// The rules by which every reader of an archive accepts an entry's contents: how many bytes an
// entry holds (its stream is inflated up to that size, no further), and that they match their CRC.
// The reader, the snapshot and every front end use these, so an entry one of them refuses as
// damaged is refused by all.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "ZLIBArchive2/Codec.h"
#include "ZLIBArchive2/ZLIBArchive2.h"

namespace tomelet {

// The reader's message for damage it finds in an archive or an entry.
inline constexpr std::string_view kCorruptedArchiveMessage = "The archive appears to be corrupted";

// Raises kCorruptedArchiveMessage.
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

// Whether the method holds a zlib stream (once decrypted, for an encrypted one).
inline bool IsCompressedMethod(std::uint8_t method) {
  return method == kMethodDeflated || method == kMethodDeflatedEncrypted;
}
inline bool IsEncryptedMethod(std::uint8_t method) {
  return method == kMethodDeflatedEncrypted || method == kMethodStoredEncrypted;
}

// How many bytes of the data area an entry takes as stored: its compressed size for a method
// that compresses, its content size otherwise.
std::int64_t StoredLength(const TEntryView& entry);
// Raises "The archive appears to be corrupted" unless length bytes from offset lie inside a data
// area of dataSize bytes. The one rule for where an entry's stored bytes may lie.
void CheckWithinDataArea(std::int64_t offset, std::int64_t length, std::int64_t dataSize);

// Called once an entry's last byte has come out of its inflater: whether the zlib stream ends
// there, its Adler-32 checked. A reader takes an entry as its first OriginalSize bytes and never
// refuses one whose stream goes on (stored documents rely on it); verify notes it.
template <typename Inflater>
bool StreamEndsHere(Inflater& inflater) {
  std::byte extra{};
  try {
    return inflater.Read(std::span(&extra, 1)) == 0 && inflater.Finished();
  } catch (const EZDecompressionError&) {
  } catch (const EStreamError&) {
  }
  return false;
}

// Raises "<name> failed CRC check" when the whole contents of entry do not match its CRC.
void CheckContentCrc(const TEntryView& entry, std::span<const std::byte> contents);

// Passes contents (an entry's bytes from its first one) through, and checks their CRC on the
// read that delivers the last byte: a wrong checksum raises "<name> failed CRC check" instead of
// handing that last piece out, so a damaged entry never reads as complete.
std::unique_ptr<TEntryReader> CrcCheckedReader(std::unique_ptr<TEntryReader> contents,
                                               const TEntryView& entry);

}  // namespace tomelet
