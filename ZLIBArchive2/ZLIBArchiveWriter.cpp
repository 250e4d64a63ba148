#include "ZLIBArchive2/ZLIBArchiveWriter.h"

#include <array>
#include <chrono>
#include <limits>
#include <stdexcept>

#include "ZLIBArchive2/ArchiveFormat.h"
#include "ZLIBArchive2/Codec.h"

namespace tomelet {

namespace {

// Contents handed to the workers but not yet placed; bounds the memory a large folder takes.
constexpr std::size_t kPendingBytes = std::size_t{64} << 20;

}  // namespace

TZLBArchiveWriter::TZLBArchiveWriter(Options options) : options_(options) {
  if (options_.Version != 1 && options_.Version != 2) {
    throw std::invalid_argument("Archive version must be 1 or 2");
  }
  if (options_.Threads > 1) {
    workers_ = std::make_unique<deflater::TDeflateWorkers>(options_.Threads);
  }
}

TZLBArchiveWriter::~TZLBArchiveWriter() = default;
TZLBArchiveWriter::TZLBArchiveWriter(TZLBArchiveWriter&&) noexcept = default;
TZLBArchiveWriter& TZLBArchiveWriter::operator=(TZLBArchiveWriter&&) noexcept = default;

TArchiveEntry TZLBArchiveWriter::NewRecord(std::string_view archivePath, std::size_t size,
                                           TFileCompressionLevel level) const {
  TArchiveEntry entry;
  const std::size_t split = archivePath.find_last_of('\\');
  entry.Path = split == std::string_view::npos ? "" : archivePath.substr(0, split + 1);
  entry.FileName = archivePath.substr(split == std::string_view::npos ? 0 : split + 1);
  if (entry.FileName.empty()) {
    throw std::invalid_argument("Archive path without a file name: " + std::string(archivePath));
  }
  entry.OriginalSize = static_cast<std::int64_t>(size);
  entry.Level = level;
  CheckRecord(entry);
  return entry;
}

void TZLBArchiveWriter::AddEntry(std::string_view archivePath, std::span<const std::byte> contents,
                                 TFileCompressionLevel level) {
  TArchiveEntry entry = NewRecord(archivePath, contents.size(), level);
  if (!workers_ || level == fcNone) {
    SettleAll();
    Place(std::move(entry), deflater::PackEntry(contents, level));
    return;
  }
  Submit(std::move(entry), {contents.begin(), contents.end()}, level);
}

void TZLBArchiveWriter::AddEntry(std::string_view archivePath, std::vector<std::byte>&& contents,
                                 TFileCompressionLevel level) {
  if (!workers_ || level == fcNone) {
    AddEntry(archivePath, std::span<const std::byte>(contents), level);
    return;
  }
  TArchiveEntry entry = NewRecord(archivePath, contents.size(), level);
  Submit(std::move(entry), std::move(contents), level);
}

void TZLBArchiveWriter::Submit(TArchiveEntry entry, std::vector<std::byte> contents,
                               TFileCompressionLevel level) {
  const std::size_t size = contents.size();
  auto packed = workers_->Submit(std::move(contents), level);
  pending_.push_back({std::move(entry), size, std::move(packed)});
  pendingBytes_ += size;
  while (pendingBytes_ > kPendingBytes) {
    SettleFirst();
  }
  while (!pending_.empty() &&
         pending_.front().Packed.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
    SettleFirst();
  }
}

void TZLBArchiveWriter::CheckRecord(const TArchiveEntry& entry) const {
  if (EntryCount() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::length_error("Too many archive entries");
  }
  std::array<std::byte, kEntryRecordSizeV2> probe{};
  format::EncodeRecord(entry, options_.Version,
                       std::span(probe).first(format::RecordSize(options_.Version)));
}

void TZLBArchiveWriter::Place(TArchiveEntry entry, deflater::TPackedEntry packed) const {
  entry.CRC = packed.CRC;
  entry.Method = packed.Deflated ? kMethodDeflated : kMethodStored;
  entry.Level = packed.Deflated ? entry.Level : std::uint8_t{fcNone};
  entry.CompressedSize = packed.Deflated ? static_cast<std::int64_t>(packed.Data.size()) : 0;
  entry.Offset = static_cast<std::int64_t>(dataSize_);
  dataSize_ += packed.Data.size();
  data_.push_back(std::move(packed.Data));
  entries_.push_back(std::move(entry));
}

void TZLBArchiveWriter::SettleFirst() const {
  TPendingEntry first = std::move(pending_.front());
  pending_.pop_front();
  pendingBytes_ -= first.Size;
  Place(std::move(first.Entry), first.Packed.get());
}

void TZLBArchiveWriter::SettleAll() const {
  while (!pending_.empty()) {
    SettleFirst();
  }
}

void TZLBArchiveWriter::AddRawEntry(TArchiveEntry entry, std::span<const std::byte> data) {
  SettleAll();
  CheckRecord(entry);
  entry.Offset = static_cast<std::int64_t>(dataSize_);
  dataSize_ += data.size();
  data_.emplace_back(data.begin(), data.end());
  entries_.push_back(std::move(entry));
}

// The registry is small beside the data area the writer already holds, so it is deflated whole.
std::vector<std::byte> TZLBArchiveWriter::Registry() const {
  const std::size_t recordSize = format::RecordSize(options_.Version);
  std::vector<std::byte> records(entries_.size() * recordSize);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    format::EncodeRecord(entries_[i], options_.Version,
                         std::span(records).subspan(i * recordSize, recordSize));
  }
  return options_.CompressRegistry ? codec::Deflate(records, codec::kUsual) : records;
}

void TZLBArchiveWriter::WriteTo(TStream& out) const {
  SettleAll();
  const std::vector<std::byte> registry = Registry();
  if (registry.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::length_error("Registry larger than 2 GiB");
  }
  std::uint32_t crc = 0;
  for (const auto& block : data_) {
    out.Write(block);
    crc = codec::Crc32(block, crc);
  }
  out.Write(registry);
  TArchiveTrailer trailer;
  trailer.ArchiveCRC = codec::Crc32(registry, crc);
  trailer.EntryCount = static_cast<std::int32_t>(entries_.size());
  trailer.Version = options_.Version;
  trailer.RegistrySize = static_cast<std::int32_t>(registry.size());
  trailer.DataSize = static_cast<std::int64_t>(dataSize_);
  trailer.RegistryCompressed = options_.CompressRegistry ? 1 : 0;
  std::array<std::byte, kTrailerSize> bytes{};
  format::EncodeTrailer(trailer, bytes);
  out.Write(bytes);
}

std::vector<std::byte> TZLBArchiveWriter::Bytes() const {
  TMemoryStream stream;
  WriteTo(stream);
  return {stream.Bytes().begin(), stream.Bytes().end()};
}

void TZLBArchiveWriter::WriteFile(const std::string& path, const std::string& prefixFile) const {
  TFileStream out(path, TFileStream::Mode::Create);
  if (!prefixFile.empty()) {
    TFileStream prefix(prefixFile, TFileStream::Mode::Read);
    out.CopyFrom(prefix, prefix.Size());
  }
  WriteTo(out);
}

}  // namespace tomelet
