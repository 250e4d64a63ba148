#include "ZLIBArchive2/ZLIBArchiveWriter.h"

#include <zlib.h>

#include <array>
#include <chrono>
#include <limits>
#include <stdexcept>

#include "ZLIBArchive2/ArchiveFormat.h"

namespace tomelet {

namespace {

constexpr std::size_t kRegistryBlock = 65536;

// Contents handed to the workers but not yet placed; bounds the memory a large folder takes.
constexpr std::size_t kPendingBytes = std::size_t{64} << 20;

std::uint32_t Crc32(std::uint32_t crc, std::span<const std::byte> bytes) {
  return static_cast<std::uint32_t>(
      crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// Passes registry bytes on to the archive stream while keeping its length and the running
// archive CRC, deflating them first for a compressed registry.
class TRegistrySink {
 public:
  TRegistrySink(TStream& out, std::uint32_t crc, bool compress) : out_(out), crc_(crc) {
    if (compress) {
      compressing_ = true;
      if (deflateInit(&zstream_, Z_DEFAULT_COMPRESSION) != Z_OK) {
        throw std::runtime_error("Deflate failed");
      }
    }
  }
  ~TRegistrySink() {
    if (compressing_) {
      deflateEnd(&zstream_);
    }
  }
  TRegistrySink(const TRegistrySink&) = delete;
  TRegistrySink& operator=(const TRegistrySink&) = delete;

  void Put(std::span<const std::byte> bytes) {
    if (!compressing_) {
      Emit(bytes);
      return;
    }
    zstream_.next_in = const_cast<Bytef*>(reinterpret_cast<const Bytef*>(bytes.data()));
    zstream_.avail_in = static_cast<uInt>(bytes.size());
    Pump(Z_NO_FLUSH);
  }
  void Finish() {
    if (compressing_) {
      Pump(Z_FINISH);
    }
  }
  std::int64_t Length() const { return length_; }
  std::uint32_t Crc() const { return crc_; }

 private:
  void Emit(std::span<const std::byte> bytes) {
    out_.Write(bytes);
    crc_ = Crc32(crc_, bytes);
    length_ += static_cast<std::int64_t>(bytes.size());
  }
  void Pump(int flush) {
    int code = Z_OK;
    do {
      zstream_.next_out = reinterpret_cast<Bytef*>(block_.data());
      zstream_.avail_out = static_cast<uInt>(block_.size());
      code = deflate(&zstream_, flush);
      Emit(std::span(block_).first(block_.size() - zstream_.avail_out));
    } while (zstream_.avail_out == 0 || (flush == Z_FINISH && code != Z_STREAM_END));
  }

  TStream& out_;
  std::uint32_t crc_;
  std::int64_t length_ = 0;
  bool compressing_ = false;
  z_stream zstream_{};
  std::array<std::byte, kRegistryBlock> block_{};
};

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

void TZLBArchiveWriter::AddEntry(std::string_view archivePath, std::span<const std::byte> contents,
                                 TFileCompressionLevel level) {
  TArchiveEntry entry;
  const std::size_t split = archivePath.find_last_of('\\');
  entry.Path = split == std::string_view::npos ? "" : archivePath.substr(0, split + 1);
  entry.FileName = archivePath.substr(split == std::string_view::npos ? 0 : split + 1);
  if (entry.FileName.empty()) {
    throw std::invalid_argument("Archive path without a file name: " + std::string(archivePath));
  }
  entry.OriginalSize = static_cast<std::int64_t>(contents.size());
  entry.Level = level;
  CheckRecord(entry);
  if (!workers_ || level == fcNone) {
    SettleAll();
    Place(std::move(entry), deflater::PackEntry(contents, level));
    return;
  }
  auto packed = workers_->Submit({contents.begin(), contents.end()}, level);
  pending_.push_back({std::move(entry), contents.size(), std::move(packed)});
  pendingBytes_ += contents.size();
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
  entry.Offset = static_cast<std::int64_t>(data_.size());
  data_.insert(data_.end(), packed.Data.begin(), packed.Data.end());
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
  entry.Offset = static_cast<std::int64_t>(data_.size());
  data_.insert(data_.end(), data.begin(), data.end());
  entries_.push_back(std::move(entry));
}

void TZLBArchiveWriter::WriteTo(TStream& out) const {
  SettleAll();
  out.Write(data_);
  TRegistrySink registry(out, Crc32(0, data_), options_.CompressRegistry);
  std::vector<std::byte> record(format::RecordSize(options_.Version));
  for (const TArchiveEntry& entry : entries_) {
    format::EncodeRecord(entry, options_.Version, record);
    registry.Put(record);
  }
  registry.Finish();
  if (registry.Length() > std::numeric_limits<std::int32_t>::max()) {
    throw std::length_error("Registry larger than 2 GiB");
  }
  TArchiveTrailer trailer;
  trailer.ArchiveCRC = registry.Crc();
  trailer.EntryCount = static_cast<std::int32_t>(entries_.size());
  trailer.Version = options_.Version;
  trailer.RegistrySize = static_cast<std::int32_t>(registry.Length());
  trailer.DataSize = static_cast<std::int64_t>(data_.size());
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
