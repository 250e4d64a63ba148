#include "ZLIBArchive2/ArchiveFormat.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

namespace tomelet::format {

namespace {

template <typename T>
T Load(std::span<const std::byte> bytes, std::size_t at) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    value |= static_cast<std::uint64_t>(bytes[at + i]) << (8 * i);
  }
  return static_cast<T>(value);
}

template <typename T>
void Store(std::span<std::byte> bytes, std::size_t at, T value) {
  const auto bits = static_cast<std::uint64_t>(value);
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    bytes[at + i] = static_cast<std::byte>((bits >> (8 * i)) & 0xFF);
  }
}

std::string LoadShortString(std::span<const std::byte> bytes, std::size_t at) {
  const auto length = static_cast<std::size_t>(bytes[at]);
  const auto* text = reinterpret_cast<const char*>(bytes.data() + at + 1);
  return std::string(text, length);
}

void StoreShortString(std::span<std::byte> bytes, std::size_t at, const std::string& text) {
  if (text.size() >= kShortStringField) {
    throw std::invalid_argument("Name longer than 255 bytes: " + text);
  }
  bytes[at] = static_cast<std::byte>(text.size());
  std::copy_n(reinterpret_cast<const std::byte*>(text.data()), text.size(),
              bytes.begin() + static_cast<std::ptrdiff_t>(at + 1));
}

std::int32_t Narrow(std::int64_t value) {
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    throw std::invalid_argument("Value does not fit a version 1 archive");
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::size_t RecordSize(int version) {
  return version == 1 ? kEntryRecordSizeV1 : kEntryRecordSizeV2;
}

TArchiveTrailer DecodeTrailer(std::span<const std::byte, kTrailerSize> bytes) {
  TArchiveTrailer trailer;
  trailer.ArchiveCRC = Load<std::uint32_t>(bytes, 0);
  trailer.EntryCount = Load<std::int32_t>(bytes, 4);
  trailer.Version = Load<std::int32_t>(bytes, 8);
  trailer.RegistrySize = Load<std::int32_t>(bytes, 12);
  if (trailer.Version == 1) {
    trailer.DataSize = Load<std::int32_t>(bytes, 16);
    trailer.RegistryCompressed = Load<std::uint8_t>(bytes, 20);
  } else {
    trailer.DataSize = Load<std::int64_t>(bytes, 16);
    trailer.RegistryCompressed = Load<std::uint8_t>(bytes, 24);
  }
  return trailer;
}

void EncodeTrailer(const TArchiveTrailer& trailer, std::span<std::byte, kTrailerSize> out) {
  std::fill(out.begin(), out.end(), std::byte{0});
  Store(out, 0, trailer.ArchiveCRC);
  Store(out, 4, trailer.EntryCount);
  Store(out, 8, trailer.Version);
  Store(out, 12, trailer.RegistrySize);
  if (trailer.Version == 1) {
    Store(out, 16, Narrow(trailer.DataSize));
    Store(out, 20, trailer.RegistryCompressed);
  } else {
    Store(out, 16, trailer.DataSize);
    Store(out, 24, trailer.RegistryCompressed);
  }
}

TArchiveEntry DecodeRecord(std::span<const std::byte> record, int version) {
  TArchiveEntry entry;
  entry.FileName = LoadShortString(record, 0);
  entry.Path = LoadShortString(record, kShortStringField);
  if (version == 1) {
    entry.OriginalSize = Load<std::int32_t>(record, 512);
    entry.CompressedSize = Load<std::int32_t>(record, 516);
    entry.Offset = Load<std::int32_t>(record, 520);
    entry.CRC = Load<std::uint32_t>(record, 524);
    entry.Method = Load<std::uint8_t>(record, 528);
    entry.Level = Load<std::uint8_t>(record, 529);
    return entry;
  }
  entry.OriginalSize = Load<std::int64_t>(record, 512);
  entry.CompressedSize = Load<std::int64_t>(record, 520);
  entry.DecryptSize = Load<std::int64_t>(record, 528);
  entry.Offset = Load<std::int64_t>(record, 536);
  entry.CRC = Load<std::uint32_t>(record, 544);
  entry.Method = Load<std::uint8_t>(record, 548);
  entry.Level = Load<std::uint8_t>(record, 549);
  return entry;
}

void EncodeRecord(const TArchiveEntry& entry, int version, std::span<std::byte> out) {
  std::fill(out.begin(), out.end(), std::byte{0});
  StoreShortString(out, 0, entry.FileName);
  StoreShortString(out, kShortStringField, entry.Path);
  if (version == 1) {
    Store(out, 512, Narrow(entry.OriginalSize));
    Store(out, 516, Narrow(entry.CompressedSize));
    Store(out, 520, Narrow(entry.Offset));
    Store(out, 524, entry.CRC);
    Store(out, 528, entry.Method);
    Store(out, 529, entry.Level);
    return;
  }
  Store(out, 512, entry.OriginalSize);
  Store(out, 520, entry.CompressedSize);
  Store(out, 528, entry.DecryptSize);
  Store(out, 536, entry.Offset);
  Store(out, 544, entry.CRC);
  Store(out, 548, entry.Method);
  Store(out, 549, entry.Level);
}

}  // namespace tomelet::format
