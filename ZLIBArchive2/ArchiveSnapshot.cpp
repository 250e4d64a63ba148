#include "ZLIBArchive2/ArchiveSnapshot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "ZLIBArchive2/ArchiveFormat.h"
#include "ZLIBArchive2/Codec.h"
#include "ZLIBArchive2/EntryChecks.h"
#include "ZLIBArchive2/EntryReaders.h"
#include "ZLIBArchive2/RegistryReader.h"

namespace tomelet {

namespace {

constexpr std::size_t kReadPiece = 65536;
// Passing a stream through is checked by inflating it whole; beyond this size the check would
// cost more memory than serving inflated pieces does.
constexpr std::int64_t kLargestCheckedStream = std::int64_t{256} << 20;

void RejectEncrypted(const TEntryView& entry) {
  if (IsEncryptedMethod(entry.Method)) {
    throw EZLBArchiveError("No password given for encrypted file");
  }
}

// A window of the archive file seen as a stream, so the streaming inflater can run over it
// without disturbing other readers of the same descriptor.
class TRegionStream final : public TStream {
 public:
  TRegionStream(const TArchiveSnapshot& snapshot, std::int64_t begin, std::int64_t end)
      : snapshot_(snapshot), begin_(begin), end_(end) {}

  std::size_t Read(std::span<std::byte> buffer) override {
    const auto left = static_cast<std::size_t>(std::max<std::int64_t>(0, Size() - position_));
    const std::size_t got =
        snapshot_.ReadAt(begin_ + position_, buffer.first(std::min(buffer.size(), left)));
    position_ += static_cast<std::int64_t>(got);
    return got;
  }
  void Write(std::span<const std::byte>) override { throw EWriteError(); }
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    const std::int64_t base =
        origin == SeekOrigin::Begin ? 0 : (origin == SeekOrigin::Current ? position_ : Size());
    position_ = std::clamp<std::int64_t>(base + offset, 0, Size());
    return position_;
  }
  std::int64_t Size() override { return end_ - begin_; }

 private:
  const TArchiveSnapshot& snapshot_;
  std::int64_t begin_;
  std::int64_t end_;
  std::int64_t position_ = 0;
};

}  // namespace

std::shared_ptr<const TArchiveSnapshot> TArchiveSnapshot::Open(const std::filesystem::path& path) {
  // Non-blocking, so that a pipe put at the path is refused below instead of waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) {
      throw EZLBArchiveError("Archive file not found");
    }
    throw EZLBArchiveError("Unable to open archive " + path.string());
  }
  auto file = std::make_unique<TFileStream>(fd);
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    throw EZLBArchiveError("Unable to open archive " + path.string());
  }
  // The registry and the data come from this one descriptor, even when the path is replaced
  // meanwhile.
  const TArchiveTrailer trailer = ReadTrailer(*file);
  const std::int64_t archiveStart = LocateArchive(*file, trailer);
  TEntryTable entries = ReadRegistry(*file, trailer, archiveStart);
  return std::make_shared<const TArchiveSnapshot>(path, std::move(file), trailer, archiveStart,
                                                  std::move(entries));
}

TArchiveSnapshot::TArchiveSnapshot(const std::filesystem::path& path,
                                   std::unique_ptr<TFileStream> file,
                                   const TArchiveTrailer& trailer, std::int64_t archiveStart,
                                   TEntryTable entries)
    : path_(std::filesystem::absolute(path)),
      file_(std::move(file)),
      identity_(IdentityOf(file_->Descriptor()).value_or(TFileIdentity{})),
      trailer_(trailer),
      archiveStart_(archiveStart),
      dataSize_(trailer.DataSize),
      entries_(std::move(entries)),
      verdicts_(std::make_unique<std::atomic<Verdict>[]>(entries_.Size())),
      checkedWhole_(std::make_unique<std::atomic<bool>[]>(entries_.Size())),
      goesOn_(std::make_unique<std::atomic<bool>[]>(entries_.Size())) {}

TArchiveSnapshot::~TArchiveSnapshot() = default;

TEntryView TArchiveSnapshot::Entry(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.Size()) {
    throw EZLBArchiveError("Index out of bounds");
  }
  return entries_.At(static_cast<std::size_t>(index));
}

int TArchiveSnapshot::IndexOf(std::string_view archivePath) const {
  return entries_.Find(archivePath);
}

bool TArchiveSnapshot::IsDeflated(int index) const {
  return Entry(index).Method == kMethodDeflated;
}

TStoredBlock TArchiveSnapshot::StoredBlock(int index) const {
  const TEntryView entry = Entry(index);
  const std::int64_t length = StoredLength(entry);
  CheckWithinDataArea(entry.Offset, length, dataSize_);
  return {archiveStart_ + entry.Offset, length};
}

std::size_t TArchiveSnapshot::ReadAt(std::int64_t fileOffset, std::span<std::byte> buffer) const {
  return ReadFullyAt(file_->Descriptor(), fileOffset, buffer);
}

std::unique_ptr<TStream> TArchiveSnapshot::OpenFileStream() const {
  return std::make_unique<TRegionStream>(*this, 0, identity_.Size);
}

std::unique_ptr<TEntryReader> TArchiveSnapshot::OpenContents(int index, std::int64_t from) const {
  auto contents = OpenUncheckedContents(index, from);
  if (from > 0) {
    return contents;
  }
  return CrcCheckedReader(std::move(contents), Entry(index));
}

std::unique_ptr<TEntryReader> TArchiveSnapshot::OpenUncheckedContents(int index,
                                                                      std::int64_t from) const {
  const TEntryView entry = Entry(index);
  RejectEncrypted(entry);
  const TReadAt readAt = [this](std::int64_t offset, std::span<std::byte> buffer) {
    return ReadAt(offset, buffer);
  };
  if (!IsDeflated(index)) {
    const TStoredBlock block = StoredBlock(index);
    const std::int64_t skipped = std::clamp<std::int64_t>(from, 0, block.Length);
    return StoredContents(readAt, block.FileOffset + skipped, block.Length - skipped);
  }
  const std::int64_t size = ContentSize(entry);
  CheckWithinDataArea(entry.Offset, 0, dataSize_);
  // No zlib stream in the bytes left can inflate to more than this, whatever the record claims.
  if (size > (dataSize_ - entry.Offset) * format::kMaxDeflateRatio) {
    RaiseCorrupted();
  }
  const auto slot = static_cast<std::size_t>(index);
  return InflatedContents(readAt, archiveStart_ + entry.Offset, DataEnd(), size,
                          std::clamp<std::int64_t>(from, 0, size),
                          {&seekPoints_, index, &inflated_, &goesOn_[slot]});
}

std::vector<std::byte> TArchiveSnapshot::Contents(int index) const {
  const TEntryView entry = Entry(index);
  RejectEncrypted(entry);
  if (!IsDeflated(index)) {
    const TStoredBlock block = StoredBlock(index);
    std::vector<std::byte> contents(static_cast<std::size_t>(block.Length));
    if (ReadAt(block.FileOffset, contents) != contents.size()) {
      RaiseCorrupted();
    }
    CheckContentCrc(entry, contents);
    return contents;
  }
  // Inflated by the same zlib reader as every other path, so an entry is accepted or refused
  // whichever way it is asked for; the vector grows with what the stream really produces.
  const auto reader = OpenContents(index);
  std::vector<std::byte> contents;
  std::vector<std::byte> piece(kReadPiece);
  while (const std::size_t got = reader->Read(piece)) {
    contents.insert(contents.end(), piece.begin(),
                    piece.begin() + static_cast<std::ptrdiff_t>(got));
  }
  return contents;
}

void TArchiveSnapshot::CheckWhole(int index) const {
  Entry(index);  // raises "Index out of bounds" before the array is touched
  auto& checked = checkedWhole_[static_cast<std::size_t>(index)];
  if (checked.load(std::memory_order_acquire)) {
    return;
  }
  // A damaged entry is not remembered: it is rare, and each request then raises its own message.
  const auto reader = OpenContents(index);
  std::vector<std::byte> piece(kReadPiece);
  while (reader->Read(piece) != 0) {
  }
  checked.store(true, std::memory_order_release);
}

bool TArchiveSnapshot::StreamGoesOnPastSize(int index) const {
  Entry(index);  // raises "Index out of bounds" before the array is touched
  return goesOn_[static_cast<std::size_t>(index)].load(std::memory_order_relaxed);
}

bool TArchiveSnapshot::HasVerifiedZlibStream(int index) const {
  if (!IsDeflated(index)) {
    return false;
  }
  auto& verdict = verdicts_[static_cast<std::size_t>(index)];
  Verdict known = verdict.load(std::memory_order_acquire);
  if (known == Verdict::Unknown) {
    known = CheckZlibStream(index) ? Verdict::Valid : Verdict::Invalid;
    verdict.store(known, std::memory_order_release);
  }
  return known == Verdict::Valid;
}

bool TArchiveSnapshot::CheckZlibStream(int index) const {
  const TEntryView entry = Entry(index);
  TStoredBlock block;
  try {
    block = StoredBlock(index);
  } catch (const EZLBArchiveError&) {
    return false;
  }
  if (block.Length == 0 || entry.OriginalSize > kLargestCheckedStream ||
      entry.OriginalSize > block.Length * format::kMaxDeflateRatio) {
    return false;
  }
  // Inflated piece by piece into scratch space: the check costs no memory of the claimed size.
  TRegionStream region(*this, block.FileOffset, block.FileOffset + block.Length);
  TZDecompressionStream inflater(region);
  std::vector<std::byte> scratch(kReadPiece);
  std::int64_t produced = 0;
  std::uint32_t crc = 0;
  try {
    while (produced <= entry.OriginalSize) {
      const std::size_t got = inflater.Read(scratch);
      if (got == 0) {
        break;
      }
      produced += static_cast<std::int64_t>(got);
      crc = codec::Crc32(std::span(scratch).first(got), crc);
    }
  } catch (const EZDecompressionError&) {
    return false;
  }
  return inflater.Finished() && produced == entry.OriginalSize &&
         region.Position() == block.Length && crc == entry.CRC;
}

}  // namespace tomelet
