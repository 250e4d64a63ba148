// Writing an entry's contents into a stream: stored copies, inflation at once or in chunks,
// and the decryption step of encrypted entries.
#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <utility>

#include "ZLIBArchive2/ArchiveFormat.h"
#include "ZLIBArchive2/EntryChecks.h"
#include "ZLIBArchive2/ReaderState.h"
#include "ZLIBArchive2/ZDecompressionStream.h"

namespace tomelet {

namespace {

constexpr std::int64_t kOutputChunk = 4096;
// Inflating in one call needs room for the whole claimed size before a byte comes out, and the
// claim is only the record's word; beyond this size the entry is inflated in chunks, so memory
// grows only with the bytes the stream really produces.
constexpr std::int64_t kLargestOneShotEntry = std::int64_t{64} << 20;

bool IsDeflated(const TArchiveEntry& entry) {
  return entry.Method == kMethodDeflated || entry.Method == kMethodDeflatedEncrypted;
}

bool IsEncrypted(const TArchiveEntry& entry) {
  return entry.Method == kMethodDeflatedEncrypted || entry.Method == kMethodStoredEncrypted;
}

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

bool IsBlankPassword(const std::string& password) {
  return std::all_of(password.begin(), password.end(), IsBlankOrControl);
}

// Deletes the temporary file of a decryption on every path out of the extraction.
class TTempFileGuard {
 public:
  explicit TTempFileGuard(std::string name) : name_(std::move(name)) {}
  ~TTempFileGuard() {
    std::error_code ignored;
    std::filesystem::remove(name_, ignored);
  }
  TTempFileGuard(const TTempFileGuard&) = delete;
  TTempFileGuard& operator=(const TTempFileGuard&) = delete;
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
};

// Inflates (or copies) one entry from a file of its own, as a piece is asked for; the stream
// must end with the entry's last byte.
class TFileEntryReader final : public TEntryReader {
 public:
  TFileEntryReader(const std::string& archiveFileName, std::int64_t position,
                   const TArchiveEntry& entry)
      : file_(archiveFileName, TFileStream::Mode::Read), remaining_(ContentSize(entry)) {
    file_.SetPosition(position);
    if (IsDeflated(entry)) {
      inflater_.emplace(file_);
    }
  }

  std::size_t Read(std::span<std::byte> buffer) override {
    const auto want = static_cast<std::size_t>(
        std::min<std::int64_t>(remaining_, static_cast<std::int64_t>(buffer.size())));
    if (want == 0) {
      return 0;
    }
    const auto piece = buffer.first(want);
    std::size_t got = 0;
    try {
      got = inflater_ ? inflater_->Read(piece) : file_.Read(piece);
      if (inflater_ && static_cast<std::int64_t>(got) == remaining_) {
        ExpectStreamEnd(*inflater_);
      }
    } catch (...) {
      RaiseCorrupted();
    }
    if (got < want) {
      RaiseCorrupted();
    }
    remaining_ -= static_cast<std::int64_t>(got);
    return got;
  }

 private:
  TFileStream file_;
  std::optional<TZDecompressionStream> inflater_;
  std::int64_t remaining_;
};

}  // namespace

void TZLBArc2::Impl::CheckEntryPlacement(const TArchiveEntry& entry) const {
  const std::int64_t dataSize = owner.trailer_.DataSize;
  if (entry.Offset < 0 || entry.Offset > dataSize) {
    RaiseCorrupted();
  }
  const bool copiedAsStored = !IsDeflated(entry) && !IsEncrypted(entry);
  if (copiedAsStored && entry.OriginalSize > dataSize - entry.Offset) {
    RaiseCorrupted();
  }
}

void TZLBArc2::Impl::DecodeEntry(const TArchiveEntry& entry, TStream& source, TStream& dest,
                                 std::int64_t oneShotLength) {
  if (!IsDeflated(entry)) {
    dest.CopyFrom(source, ContentSize(entry));
    return;
  }
  // An entry without contents reads no stream at all.
  if (ContentSize(entry) == 0) {
    return;
  }
  // Progress needs the chunked path; without it one call inflates the whole entry.
  if (!owner.OnProgress && InflateAtOnce(entry, source, dest, oneShotLength)) {
    return;
  }
  InflateInChunks(entry, source, dest);
}

bool TZLBArc2::Impl::InflateAtOnce(const TArchiveEntry& entry, TStream& source, TStream& dest,
                                   std::int64_t oneShotLength) {
  auto* memory = dynamic_cast<TMemoryStream*>(&dest);
  const std::int64_t start = source.Position();
  if (memory == nullptr || memory->Position() != memory->Size() || oneShotLength <= 0 ||
      oneShotLength > source.Size() - start || entry.OriginalSize > kLargestOneShotEntry ||
      entry.OriginalSize > oneShotLength * format::kMaxDeflateRatio) {
    return false;
  }
  // The same zlib as the chunked path, so that an entry is accepted or refused whichever path
  // reads it; only the copies through a chunk buffer are saved.
  const auto oldSize = static_cast<std::size_t>(memory->Size());
  const auto out = memory->WriteSpan(static_cast<std::size_t>(entry.OriginalSize));
  try {
    TZDecompressionStream inflater(source);
    if (inflater.Read(out) == out.size()) {
      ExpectStreamEnd(inflater);
      return true;
    }
  } catch (const EZDecompressionError&) {
  } catch (const EZLBArchiveError&) {
  }
  // The chunked path raises the failure and leaves in dest what it had written by then.
  memory->SetSize(oldSize);
  source.SetPosition(start);
  return false;
}

void TZLBArc2::Impl::InflateInChunks(const TArchiveEntry& entry, TStream& source, TStream& dest) {
  TZDecompressionStream inflater(source);
  BeginPhase(Phase::Entry, "Extracting " + entry.FileName, entry.OriginalSize);
  std::array<std::byte, kOutputChunk> chunk{};
  for (std::int64_t remaining = entry.OriginalSize; remaining > 0; remaining -= kOutputChunk) {
    try {
      const auto want = static_cast<std::size_t>(std::min(remaining, kOutputChunk));
      const std::size_t got = inflater.Read(std::span(chunk).first(want));
      done += static_cast<std::int64_t>(got);
      DoProgress();
      dest.Write(std::span(chunk).first(got));
      if (got < want) {
        RaiseCorrupted();
      }
    } catch (...) {
      RaiseCorrupted();
    }
  }
  try {
    ExpectStreamEnd(inflater);
  } catch (...) {
    RaiseCorrupted();
  }
}

void TZLBArc2::Impl::DecryptAndDecode(const TArchiveEntry& entry, TStream& source, TStream& dest) {
  if (IsBlankPassword(owner.Password)) {
    RaiseArchiveError("No password given for encrypted file");
  }
  if (!owner.OnDecryptStream) {
    RaiseArchiveError("No decryption algorithm found");
  }
  const TTempFileGuard temp(owner.MakeTempFileName());
  TFileStream decrypted(temp.Name(), TFileStream::Mode::ReadWrite);
  owner.OnDecryptStream(source, decrypted, static_cast<std::uint32_t>(entry.DecryptSize),
                        owner.Password);
  decrypted.SetPosition(0);
  DecodeEntry(entry, decrypted, dest, decrypted.Size());
}

bool TZLBArc2::ExtractEntry(int index, TStream& dest, TStream* archiveStream) {
  // A copy, because event handlers may close the archive while the entry is being written.
  const TArchiveEntry entry = GetEntry(index);
  std::unique_ptr<TFileStream> opened;
  if (archiveStream == nullptr) {
    try {
      opened = std::make_unique<TFileStream>(archiveFileName_, TFileStream::Mode::Read);
    } catch (const EStreamError&) {
      RaiseArchiveError("Unable to open archive " + archiveFileName_);
    }
  }
  TStream& source = archiveStream != nullptr ? *archiveStream : *opened;
  impl_->CheckEntryPlacement(entry);
  source.SetPosition(ArchivePosition(entry.Offset));
  if (IsEncrypted(entry)) {
    impl_->DecryptAndDecode(entry, source, dest);
  } else {
    const bool sizeFits =
        entry.CompressedSize > 0 && entry.CompressedSize <= trailer_.DataSize - entry.Offset;
    impl_->DecodeEntry(entry, source, dest, sizeFits ? entry.CompressedSize : 0);
  }
  if (VerifyFileCRC && StreamCRC32(dest, 0, 0) != entry.CRC) {
    RaiseArchiveError(entry.FileName + " failed CRC check");
  }
  return true;
}

std::unique_ptr<TEntryReader> TZLBArc2::OpenEntryReader(int index) const {
  const TArchiveEntry entry = GetEntry(index);
  if (IsEncrypted(entry)) {
    RaiseArchiveError("No password given for encrypted file");
  }
  impl_->CheckEntryPlacement(entry);
  // No zlib stream in the bytes left can inflate to more than this, whatever the record claims.
  if (IsDeflated(entry) &&
      entry.OriginalSize > (trailer_.DataSize - entry.Offset) * format::kMaxDeflateRatio) {
    RaiseCorrupted();
  }
  try {
    auto contents =
        std::make_unique<TFileEntryReader>(archiveFileName_, ArchivePosition(entry.Offset), entry);
    if (!VerifyFileCRC) {
      return contents;
    }
    return CrcCheckedReader(std::move(contents), EntryAt(index));
  } catch (const EStreamError&) {
    RaiseArchiveError("Unable to open archive " + archiveFileName_);
  }
}

void TZLBArc2::ExtractToStream(TMemoryStream& dest, const std::string& name) {
  if (archiveFileName_.empty()) {
    RaiseArchiveError("No archive is currently open");
  }
  const int index = impl_->entries.Find(name);
  if (index < 0) {
    RaiseArchiveError(name + " not found in archive");
  }
  const std::string storedPath(impl_->entries.ArchivePathOf(static_cast<std::size_t>(index)));
  if (ExtractEntry(index, dest) && OnStreamExtracted) {
    OnStreamExtracted(storedPath);
  }
  impl_->phase = Impl::Phase::Idle;
  impl_->DoProgress();
}

}  // namespace tomelet
