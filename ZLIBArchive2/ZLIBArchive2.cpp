// Opening and closing archives, lookups, progress and temporary files of TZLBArc2.
#include "ZLIBArchive2/ZLIBArchive2.h"

#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "ZLIBArchive2/ArchiveFormat.h"
#include "ZLIBArchive2/Codec.h"
#include "ZLIBArchive2/EntryChecks.h"
#include "ZLIBArchive2/ReaderState.h"
#include "ZLIBArchive2/RegistryReader.h"
#include "platform/files/TemporaryFolder.h"

namespace tomelet {

namespace {

constexpr std::int64_t kCrcBlock = 10240;

std::unique_ptr<TFileStream> OpenForReading(const std::string& fileName) {
  try {
    return std::make_unique<TFileStream>(fileName, TFileStream::Mode::Read);
  } catch (const EStreamError&) {
    RaiseArchiveError("Unable to open archive " + fileName);
  }
}

}  // namespace

void RaiseArchiveError(std::string text) {
  throw EZLBArchiveError(text);
}

std::uint32_t StreamCRC32(TStream& stream, std::int64_t start, std::int64_t tail) {
  const std::int64_t remembered = stream.Position();
  stream.SetPosition(start);
  std::uint32_t crc = 0;
  std::array<std::byte, kCrcBlock> block{};
  for (std::int64_t remaining = stream.Size() - start - tail; remaining > 0;
       remaining -= kCrcBlock) {
    const auto want = static_cast<std::size_t>(std::min(remaining, kCrcBlock));
    const std::size_t got = stream.Read(std::span(block).first(want));
    crc = codec::Crc32(std::span(block).first(got), crc);
    if (got < want) {
      break;
    }
  }
  stream.SetPosition(remembered);
  return crc;
}

void TZLBArc2::Impl::BeginPhase(Phase newPhase, std::string newMessage, std::int64_t newTotal) {
  phase = newPhase;
  message = std::move(newMessage);
  total = newTotal;
  done = 0;
}

void TZLBArc2::Impl::DoProgress() const {
  if (destroying || !owner.OnProgress) {
    return;
  }
  if (phase == Phase::Idle) {
    owner.OnProgress(owner.archiveFileName_, 0);
    return;
  }
  const double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0.0;
  owner.OnProgress(message, static_cast<int>(std::nearbyint(share * 100.0)));
}

TZLBArc2::TZLBArc2() : impl_(std::make_unique<Impl>(*this)) {}

TZLBArc2::~TZLBArc2() {
  impl_->destroying = true;
  CloseArchive();
}

bool TZLBArc2::OpenArchive(const std::string& fileName) {
  CloseArchive();
  archiveFileName_ = fileName;
  if (fileName.empty()) {
    return false;
  }
  std::error_code error;
  if (!std::filesystem::is_regular_file(fileName, error)) {
    RaiseArchiveError("Archive file not found");
  }
  return OpenFile(OpenForReading(fileName));
}

bool TZLBArc2::OpenFile(std::unique_ptr<TFileStream> file) {
  trailer_ = ReadTrailer(*file);
  try {
    impl_->archiveStart = LocateArchive(*file, trailer_);
  } catch (const EZLBArchiveError&) {
    CloseArchive();
    throw;
  }
  if (VerifyArchiveCRC &&
      StreamCRC32(*file, impl_->archiveStart, kTrailerSize) != trailer_.ArchiveCRC) {
    archiveFileName_.clear();
    trailer_ = {};
    impl_->archiveStart = -1;
    RaiseArchiveError(std::string(kCorruptedArchiveMessage));
  }
  try {
    auto entries = ReadRegistry(
        *file, trailer_, impl_->archiveStart, [this](std::int64_t done, std::int64_t total) {
          impl_->BeginPhase(Impl::Phase::Registry, "Extracting registry", total);
          impl_->done = done;
          impl_->DoProgress();
        });
    impl_->core = std::make_shared<const TArchiveSnapshot>(
        archiveFileName_, std::move(file), trailer_, impl_->archiveStart, std::move(entries));
    if (OnArchiveOpened) {
      OnArchiveOpened(*this);
    }
  } catch (const ERegistryTooLarge&) {
    CloseArchive();
    throw;
  } catch (...) {
    CloseArchive();
    RaiseArchiveError("Error reading registry");
  }
  impl_->phase = Impl::Phase::Idle;
  impl_->DoProgress();
  return true;
}

void TZLBArc2::CloseArchive() {
  impl_->core.reset();
  trailer_ = {};
  archiveFileName_.clear();
  impl_->phase = Impl::Phase::Idle;
  impl_->DoProgress();
  impl_->archiveStart = -1;
}

int TZLBArc2::EntryCount() const {
  if (archiveFileName_.empty()) {
    RaiseArchiveError("No archive is currently open");
  }
  return static_cast<int>(impl_->Table().Size());
}

TEntryView TZLBArc2::EntryAt(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= impl_->Table().Size()) {
    RaiseArchiveError("Index out of bounds");
  }
  return impl_->Table().At(static_cast<std::size_t>(index));
}

TArchiveEntry TZLBArc2::GetEntry(int index) const {
  return EntryAt(index).Record();
}

std::shared_ptr<const TArchiveSnapshot> TZLBArc2::Snapshot() const {
  return impl_->core;
}

const TEntryTable& TZLBArc2::Impl::Table() const {
  static const TEntryTable kNone;
  return core ? core->Entries() : kNone;
}

void TZLBArc2::Impl::CheckFileStillThere() const {
  if (::access(owner.archiveFileName_.c_str(), R_OK) != 0) {
    RaiseArchiveError("Unable to open archive " + owner.archiveFileName_);
  }
}

int TZLBArc2::IndexOfEntry(const std::string& name) const {
  if (archiveFileName_.empty()) {
    RaiseArchiveError("No archive is currently open");
  }
  const std::size_t split = name.find_last_of("\\:");
  std::string folder = split == std::string::npos ? std::string() : name.substr(0, split + 1);
  const std::string_view fileName = split == std::string::npos
                                        ? std::string_view(name)
                                        : std::string_view(name).substr(split + 1);
  if (SavePaths) {
    const std::size_t drive = folder.find(':');
    if (drive != std::string::npos) {
      folder.erase(0, drive + 1);
    }
  }
  return impl_->Table().Find(folder.append(fileName));
}

std::int64_t TZLBArc2::ArchivePosition(std::int64_t offset) const {
  if (impl_->archiveStart < 0) {
    RaiseArchiveError("Unknown file position marker");
  }
  return impl_->archiveStart + offset;
}

std::string TZLBArc2::GetTempFolder() const {
  if (!TempDir.empty()) {
    return TempDir;
  }
  std::string folder = TemporaryFolderPath().native();
  return folder.back() == '/' ? folder : folder + '/';
}

std::string TZLBArc2::MakeTempFileName() {
  std::string pattern = GetTempFolder();
  if (pattern.back() != '/') {
    pattern += '/';
  }
  pattern += "ZLBXXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    throw EStreamError("Cannot create a temporary file in " + GetTempFolder() + ": " +
                       std::strerror(errno));
  }
  ::close(fd);
  return pattern;
}

void TZLBArc2::ListFolder(const std::string& folder, std::vector<std::string>& list) {
  list.clear();
  const std::string wanted = FoldArchivePath(folder);
  for (std::size_t i = 0; i < impl_->Table().Size(); ++i) {
    const TEntryView entry = impl_->Table().At(i);
    if (FoldArchivePath(entry.Path) == wanted) {
      list.emplace_back(entry.FileName);
    }
  }
}

}  // namespace tomelet
