#include "ZLIBArchive2/EntryChecks.h"

#include <algorithm>
#include <string>
#include <utility>

namespace tomelet {

namespace {

[[noreturn]] void RaiseFailedCrc(std::string_view fileName) {
  throw EZLBArchiveError(std::string(fileName) + " failed CRC check");
}

class TCrcCheckedReader final : public TEntryReader {
 public:
  TCrcCheckedReader(std::unique_ptr<TEntryReader> contents, const TEntryView& entry)
      : contents_(std::move(contents)),
        name_(entry.FileName),
        expected_(entry.CRC),
        remaining_(ContentSize(entry)) {}

  std::size_t Read(std::span<std::byte> buffer) override {
    const std::size_t got = contents_->Read(buffer);
    crc_ = codec::Crc32(buffer.first(got), crc_);
    remaining_ -= static_cast<std::int64_t>(got);
    if (remaining_ <= 0 && !checked_) {
      checked_ = true;
      if (crc_ != expected_) {
        RaiseFailedCrc(name_);
      }
    }
    return got;
  }

 private:
  std::unique_ptr<TEntryReader> contents_;
  std::string name_;
  std::uint32_t expected_;
  std::int64_t remaining_;
  std::uint32_t crc_ = 0;
  bool checked_ = false;
};

}  // namespace

std::int64_t StoredLength(const TEntryView& entry) {
  return IsCompressedMethod(entry.Method) ? entry.CompressedSize : ContentSize(entry);
}

void CheckWithinDataArea(std::int64_t offset, std::int64_t length, std::int64_t dataSize) {
  if (offset < 0 || length < 0 || offset > dataSize || length > dataSize - offset) {
    RaiseCorrupted();
  }
}

void RaiseCorrupted() {
  throw EZLBArchiveError(std::string(kCorruptedArchiveMessage));
}

std::int64_t ContentSize(std::int64_t originalSize) {
  return std::max<std::int64_t>(originalSize, 0);
}

void CheckContentCrc(const TEntryView& entry, std::span<const std::byte> contents) {
  if (codec::Crc32(contents) != entry.CRC) {
    RaiseFailedCrc(entry.FileName);
  }
}

std::unique_ptr<TEntryReader> CrcCheckedReader(std::unique_ptr<TEntryReader> contents,
                                               const TEntryView& entry) {
  return std::make_unique<TCrcCheckedReader>(std::move(contents), entry);
}

}  // namespace tomelet
