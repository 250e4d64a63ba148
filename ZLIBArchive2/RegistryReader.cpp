#include "ZLIBArchive2/RegistryReader.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "ZLIBArchive2/ArchiveFormat.h"
#include "ZLIBArchive2/Codec.h"

namespace tomelet {

namespace {

constexpr std::int64_t kRegistryChunk = 4096;
constexpr std::size_t kRecordsPerRead = 128;
// Entries are reserved up to this count in advance; beyond it the table grows as records
// actually arrive, so a count that the file only claims costs nothing.
constexpr std::int64_t kReserveLimit = 65536;

[[noreturn]] void RaiseRegistryError() {
  throw EZLBArchiveError("Error reading registry");
}

void ReadPlainRegistry(TFileStream& file, const TArchiveTrailer& trailer, TEntryTable& entries) {
  const std::size_t recordSize = format::RecordSize(trailer.Version);
  const auto count = static_cast<std::size_t>(trailer.EntryCount);
  if (static_cast<std::int64_t>(count * recordSize) > trailer.RegistrySize) {
    RaiseRegistryError();
  }
  entries.Reserve(count);
  std::vector<std::byte> block(recordSize * kRecordsPerRead);
  while (entries.Size() < count) {
    const std::size_t records = std::min(kRecordsPerRead, count - entries.Size());
    const auto bytes = std::span(block).first(records * recordSize);
    file.ReadBuffer(bytes);
    for (std::size_t r = 0; r < records; ++r) {
      entries.Add(format::DecodeRecord(bytes.subspan(r * recordSize, recordSize), trailer.Version));
    }
  }
}

void ReadCompressedRegistry(TFileStream& file, const TArchiveTrailer& trailer, TEntryTable& entries,
                            const TRegistryProgress& progress) {
  const std::size_t recordSize = format::RecordSize(trailer.Version);
  const std::int64_t total =
      std::int64_t{trailer.EntryCount} * static_cast<std::int64_t>(recordSize);
  if (total > trailer.RegistrySize * format::kMaxDeflateRatio) {
    RaiseRegistryError();
  }
  entries.Reserve(
      static_cast<std::size_t>(std::min<std::int64_t>(trailer.EntryCount, kReserveLimit)));
  TZDecompressionStream inflater(file);
  std::vector<std::byte> record(recordSize);
  std::size_t filled = 0;
  std::int64_t done = 0;
  std::array<std::byte, kRegistryChunk> chunk{};
  for (std::int64_t remaining = total; remaining > 0; remaining -= kRegistryChunk) {
    const auto want = static_cast<std::size_t>(std::min(remaining, kRegistryChunk));
    const std::size_t got = inflater.Read(std::span(chunk).first(want));
    done += static_cast<std::int64_t>(got);
    if (progress) {
      progress(done, total);
    }
    if (got < want) {
      RaiseRegistryError();
    }
    // Records straddle chunk boundaries, so bytes collect in one record buffer.
    for (std::size_t at = 0; at < got;) {
      const std::size_t take = std::min(recordSize - filled, got - at);
      std::copy_n(chunk.begin() + static_cast<std::ptrdiff_t>(at), take,
                  record.begin() + static_cast<std::ptrdiff_t>(filled));
      filled += take;
      at += take;
      if (filled == recordSize) {
        entries.Add(format::DecodeRecord(record, trailer.Version));
        filled = 0;
      }
    }
  }
}

}  // namespace

TArchiveTrailer ReadTrailer(TFileStream& file) {
  std::array<std::byte, kTrailerSize> bytes{};
  if (file.Size() < static_cast<std::int64_t>(kTrailerSize)) {
    throw EReadError();
  }
  file.Seek(-static_cast<std::int64_t>(kTrailerSize), SeekOrigin::End);
  file.ReadBuffer(bytes);
  TArchiveTrailer trailer = format::DecodeTrailer(bytes);
  if (trailer.Version != 1 && trailer.Version != 2) {
    throw EZLBArchiveError("The archive was created with a different version of ZLBArchive (v" +
                           std::to_string(trailer.Version) + ")");
  }
  return trailer;
}

std::int64_t LocateArchive(TFileStream& file, const TArchiveTrailer& trailer) {
  const std::int64_t room = file.Size() - static_cast<std::int64_t>(kTrailerSize);
  if (trailer.RegistrySize < 0 || trailer.DataSize < 0 || trailer.RegistrySize > room ||
      trailer.DataSize > room - trailer.RegistrySize) {
    RaiseRegistryError();
  }
  return room - trailer.RegistrySize - trailer.DataSize;
}

TEntryTable ReadRegistry(TFileStream& file, const TArchiveTrailer& trailer,
                         std::int64_t archiveStart, const TRegistryProgress& progress) {
  if (trailer.EntryCount < 0) {
    RaiseRegistryError();
  }
  // Refused before a byte of the registry is read, so a claim of millions costs no time.
  if (trailer.EntryCount > kMaxRegistryEntries) {
    RaiseRegistryTooLarge();
  }
  TEntryTable entries;
  try {
    file.SetPosition(archiveStart + trailer.DataSize);
    if (trailer.RegistryCompressed != 0) {
      ReadCompressedRegistry(file, trailer, entries, progress);
    } else {
      ReadPlainRegistry(file, trailer, entries);
    }
    entries.BuildIndex();
  } catch (const ERegistryTooLarge&) {
    throw;
  } catch (...) {
    RaiseRegistryError();
  }
  return entries;
}

}  // namespace tomelet
