#include "ZLIBArchive2/ZLIBArchiveWriter.h"

#include <zlib.h>

#include <array>
#include <limits>
#include <stdexcept>

#include "ZLIBArchive2/ArchiveFormat.h"

namespace tomelet {

namespace {

constexpr std::size_t kRegistryBlock = 65536;

int ZlibLevel(TFileCompressionLevel level) {
  switch (level) {
    case fcFastest:
      return Z_BEST_SPEED;
    case fcMaximum:
      return Z_BEST_COMPRESSION;
    default:
      return Z_DEFAULT_COMPRESSION;
  }
}

std::vector<std::byte> Deflate(std::span<const std::byte> contents, TFileCompressionLevel level) {
  uLongf length = compressBound(static_cast<uLong>(contents.size()));
  std::vector<std::byte> packed(length);
  const int code = compress2(reinterpret_cast<Bytef*>(packed.data()), &length,
                             reinterpret_cast<const Bytef*>(contents.data()),
                             static_cast<uLong>(contents.size()), ZlibLevel(level));
  if (code != Z_OK) {
    throw std::runtime_error(std::string("Deflate failed: ") + zError(code));
  }
  packed.resize(length);
  return packed;
}

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
}

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
  entry.CRC = Crc32(0, contents);
  if (level != fcNone) {
    std::vector<std::byte> packed = Deflate(contents, level);
    if (packed.size() < contents.size()) {
      entry.Method = kMethodDeflated;
      entry.Level = level;
      entry.CompressedSize = static_cast<std::int64_t>(packed.size());
      AddRawEntry(std::move(entry), packed);
      return;
    }
  }
  entry.Method = kMethodStored;
  entry.Level = fcNone;
  AddRawEntry(std::move(entry), contents);
}

void TZLBArchiveWriter::AddRawEntry(TArchiveEntry entry, std::span<const std::byte> data) {
  if (entries_.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::length_error("Too many archive entries");
  }
  entry.Offset = static_cast<std::int64_t>(data_.size());
  std::array<std::byte, kEntryRecordSizeV2> probe{};
  format::EncodeRecord(entry, options_.Version,
                       std::span(probe).first(format::RecordSize(options_.Version)));
  data_.insert(data_.end(), data.begin(), data.end());
  entries_.push_back(std::move(entry));
}

void TZLBArchiveWriter::WriteTo(TStream& out) const {
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
