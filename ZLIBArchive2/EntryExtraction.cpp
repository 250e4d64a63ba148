// Writing an entry's contents into a stream through the entry readers every other path uses:
// with progress in the reader's steps, at once into memory without it, and after the decryption
// step of encrypted entries.
#include <algorithm>
#include <array>
#include <filesystem>
#include <utility>
#include <vector>

#include "ZLIBArchive2/ArchiveFormat.h"
#include "ZLIBArchive2/EntryChecks.h"
#include "ZLIBArchive2/EntryReaders.h"
#include "ZLIBArchive2/ReaderState.h"

namespace tomelet {

namespace {

// The step in which extraction reports progress, and the piece stored entries are copied in.
constexpr std::size_t kProgressStep = 4096;
constexpr std::size_t kCopyPiece = 65536;
// Inflating in one call needs room for the whole claimed size before a byte comes out, and the
// claim is only the record's word; beyond this size the entry is inflated in steps, so memory
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

// Positioned reads through a stream, which is moved for each of them.
TReadAt ReadsThrough(TStream& source) {
  return [&source](std::int64_t offset, std::span<std::byte> buffer) {
    source.SetPosition(offset);
    return source.Read(buffer);
  };
}

// The memory stream an entry of size bytes, read from available bytes of stream, is inflated
// into at once; null when dest is no memory stream at its end or the size is not one to hold.
TMemoryStream* HeldAtOnce(TStream& dest, std::int64_t size, std::int64_t available) {
  auto* memory = dynamic_cast<TMemoryStream*>(&dest);
  if (memory == nullptr || memory->Position() != memory->Size() || size > kLargestOneShotEntry ||
      size > available * format::kMaxDeflateRatio) {
    return nullptr;
  }
  return memory;
}

// Fills buffer from contents; false when they raise or end early.
bool ReadWhole(TEntryReader& contents, std::span<std::byte> buffer) {
  std::size_t done = 0;
  try {
    while (done < buffer.size()) {
      const std::size_t got = contents.Read(buffer.subspan(done));
      if (got == 0) {
        return false;
      }
      done += got;
    }
    return true;
  } catch (const EZLBArchiveError&) {
    return false;
  }
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

}  // namespace

void TZLBArc2::Impl::CheckEntryPlacement(const TArchiveEntry& entry) const {
  // Only contents copied as they are stored have a length the reader trusts; a zlib stream runs
  // until it ends.
  const bool copiedAsStored = !IsCompressed(entry) && !IsEncrypted(entry);
  CheckWithinDataArea(entry.Offset, copiedAsStored ? ContentSize(entry) : 0,
                      owner.trailer_.DataSize);
}

void TZLBArc2::Impl::DecodeEntry(const TArchiveEntry& entry, TStream& source, TStream& dest) {
  const std::int64_t size = ContentSize(entry);
  const std::int64_t begin = source.Position();
  if (!IsCompressed(entry)) {
    // A source too short for the entry raises the stream layer's read error, as a copy would.
    if (source.Size() - begin < size) {
      throw EReadError();
    }
    const auto contents = StoredContents(ReadsThrough(source), begin, size);
    std::vector<std::byte> piece(kCopyPiece);
    while (const std::size_t got = contents->Read(piece)) {
      dest.Write(std::span(piece).first(got));
    }
    return;
  }
  // An entry without contents reads no stream at all.
  if (size == 0) {
    return;
  }
  const auto open = [&] {
    return InflatedContents(ReadsThrough(source), begin, source.Size(), size);
  };
  // Progress needs the steps; without it one call inflates the whole entry.
  TMemoryStream* memory =
      owner.OnProgress ? nullptr : HeldAtOnce(dest, size, source.Size() - begin);
  if (memory != nullptr && InflateAtOnce(*open(), size, *memory)) {
    return;
  }
  BeginPhase(Phase::Entry, "Extracting " + entry.FileName, size);
  InflateInSteps(*open(), dest);
}

bool TZLBArc2::Impl::InflateAtOnce(TEntryReader& contents, std::int64_t size, TMemoryStream& dest) {
  const auto oldSize = static_cast<std::size_t>(dest.Size());
  if (ReadWhole(contents, dest.WriteSpan(static_cast<std::size_t>(size)))) {
    return true;
  }
  // The steps raise the failure and leave in dest what they had written by then.
  dest.SetSize(oldSize);
  return false;
}

void TZLBArc2::Impl::InflateInSteps(TEntryReader& contents, TStream& dest) {
  std::array<std::byte, kProgressStep> step{};
  for (;;) {
    try {
      const std::size_t got = contents.Read(step);
      if (got == 0) {
        return;
      }
      done += static_cast<std::int64_t>(got);
      DoProgress();
      dest.Write(std::span(step).first(got));
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
  DecodeEntry(entry, decrypted, dest);
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
    impl_->DecodeEntry(entry, source, dest);
  }
  if (VerifyFileCRC && StreamCRC32(dest, 0, 0) != entry.CRC) {
    RaiseArchiveError(entry.FileName + " failed CRC check");
  }
  return true;
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
