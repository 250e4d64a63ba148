// Writing an entry's contents into a stream: stored copies, inflation at once or in chunks,
// and the decryption step of encrypted entries.
#include <algorithm>
#include <array>
#include <filesystem>
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

bool IsCompressed(const TArchiveEntry& entry) {
  return IsCompressedMethod(entry.Method);
}

bool IsEncrypted(const TArchiveEntry& entry) {
  return IsEncryptedMethod(entry.Method);
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

// A reader of the core that keeps it open, so that it may be read after the archive is closed.
class TCoreReader final : public TEntryReader {
 public:
  TCoreReader(std::shared_ptr<const TArchiveSnapshot> core, std::unique_ptr<TEntryReader> contents)
      : core_(std::move(core)), contents_(std::move(contents)) {}
  std::size_t Read(std::span<std::byte> buffer) override { return contents_->Read(buffer); }

 private:
  std::shared_ptr<const TArchiveSnapshot> core_;
  std::unique_ptr<TEntryReader> contents_;
};

}  // namespace

void TZLBArc2::Impl::CheckEntryPlacement(const TArchiveEntry& entry) const {
  // Only contents copied as they are stored have a length the reader trusts; a zlib stream runs
  // until it ends.
  const bool copiedAsStored = !IsCompressed(entry) && !IsEncrypted(entry);
  CheckWithinDataArea(entry.Offset, copiedAsStored ? ContentSize(entry) : 0,
                      owner.trailer_.DataSize);
}

void TZLBArc2::Impl::DecodeEntry(const TArchiveEntry& entry, TStream& source, TStream& dest,
                                 std::int64_t oneShotLength) {
  if (!IsCompressed(entry)) {
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
  // Held for the whole extraction, so the descriptor outlives a handler that closes the archive.
  const std::shared_ptr<const TArchiveSnapshot> core = impl_->core;
  std::unique_ptr<TStream> opened;
  if (archiveStream == nullptr) {
    impl_->CheckFileStillThere();
    opened = core->OpenFileStream();
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
  EntryAt(index);  // raises "Index out of bounds" when no archive is open
  impl_->CheckFileStillThere();
  auto contents = VerifyFileCRC ? impl_->core->OpenContents(index)
                                : impl_->core->OpenUncheckedContents(index, 0);
  return std::make_unique<TCoreReader>(impl_->core, std::move(contents));
}

void TZLBArc2::ExtractToStream(TMemoryStream& dest, const std::string& name) {
  if (archiveFileName_.empty()) {
    RaiseArchiveError("No archive is currently open");
  }
  const int index = impl_->Table().Find(name);
  if (index < 0) {
    RaiseArchiveError(name + " not found in archive");
  }
  const std::string storedPath(impl_->Table().ArchivePathOf(static_cast<std::size_t>(index)));
  if (ExtractEntry(index, dest) && OnStreamExtracted) {
    OnStreamExtracted(storedPath);
  }
  impl_->phase = Impl::Phase::Idle;
  impl_->DoProgress();
}

}  // namespace tomelet
