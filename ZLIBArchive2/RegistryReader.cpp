// Finding the archive inside its file and loading the registry.
#include <algorithm>
#include <array>
#include <limits>

#include "ZLIBArchive2/ArchiveFormat.h"
#include "ZLIBArchive2/ReaderState.h"
#include "ZLIBArchive2/ZDecompressionStream.h"

namespace tomelet {

namespace {

constexpr std::int64_t kRegistryChunk = 4096;
constexpr std::size_t kRecordsPerRead = 128;
// Entries are reserved up to this count in advance; beyond it the table grows as records
// actually arrive, so a count that the file only claims costs nothing.
constexpr std::int64_t kReserveLimit = 65536;

[[noreturn]] void RaiseRegistryError() {
  RaiseArchiveError("Error reading registry");
}

}  // namespace

void TZLBArc2::Impl::LocateArchive(TFileStream& file) {
  const TArchiveTrailer& trailer = owner.trailer_;
  const std::int64_t room = file.Size() - static_cast<std::int64_t>(kTrailerSize);
  if (trailer.RegistrySize < 0 || trailer.DataSize < 0 || trailer.RegistrySize > room ||
      trailer.DataSize > room - trailer.RegistrySize) {
    owner.CloseArchive();
    RaiseRegistryError();
  }
  archiveStart = room - trailer.RegistrySize - trailer.DataSize;
}

void TZLBArc2::Impl::ReadRegistry(TFileStream& file) {
  const TArchiveTrailer& trailer = owner.trailer_;
  const std::size_t recordSize = format::RecordSize(trailer.Version);
  const std::int64_t count = trailer.EntryCount;
  if (count < 0) {
    RaiseRegistryError();
  }
  // Refused before a byte of the registry is read, so a claim of millions costs no time.
  if (count > kMaxRegistryEntries) {
    RaiseRegistryTooLarge();
  }
  file.SetPosition(owner.ArchivePosition(trailer.DataSize));
  if (trailer.RegistryCompressed != 0) {
    ReadCompressedRegistry(file, count, recordSize);
  } else {
    ReadPlainRegistry(file, count, recordSize);
  }
  entries.BuildIndex();
}

void TZLBArc2::Impl::ReadPlainRegistry(TFileStream& file, std::int64_t count,
                                       std::size_t recordSize) {
  const auto total = count * static_cast<std::int64_t>(recordSize);
  if (total > owner.trailer_.RegistrySize) {
    RaiseRegistryError();
  }
  entries.Reserve(static_cast<std::size_t>(count));
  std::vector<std::byte> block(recordSize * kRecordsPerRead);
  while (entries.Size() < static_cast<std::size_t>(count)) {
    const std::size_t records =
        std::min(kRecordsPerRead, static_cast<std::size_t>(count) - entries.Size());
    const auto bytes = std::span(block).first(records * recordSize);
    file.ReadBuffer(bytes);
    for (std::size_t r = 0; r < records; ++r) {
      entries.Add(
          format::DecodeRecord(bytes.subspan(r * recordSize, recordSize), owner.trailer_.Version));
    }
  }
}

void TZLBArc2::Impl::ReadCompressedRegistry(TFileStream& file, std::int64_t count,
                                            std::size_t recordSize) {
  const auto total = count * static_cast<std::int64_t>(recordSize);
  if (total > owner.trailer_.RegistrySize * format::kMaxDeflateRatio) {
    RaiseRegistryError();
  }
  entries.Reserve(static_cast<std::size_t>(std::min(count, kReserveLimit)));
  TZDecompressionStream inflater(file);
  BeginPhase(Phase::Registry, "Extracting registry", total);
  std::vector<std::byte> record(recordSize);
  std::size_t filled = 0;
  std::array<std::byte, kRegistryChunk> chunk{};
  for (std::int64_t remaining = total; remaining > 0; remaining -= kRegistryChunk) {
    const auto want = static_cast<std::size_t>(std::min(remaining, kRegistryChunk));
    const std::size_t got = inflater.Read(std::span(chunk).first(want));
    done += static_cast<std::int64_t>(got);
    DoProgress();
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
        entries.Add(format::DecodeRecord(record, owner.trailer_.Version));
        filled = 0;
      }
    }
  }
}

}  // namespace tomelet
