#include "document/Document.h"

#include <charconv>
#include <iterator>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "ZLIBArchive2/EntryChecks.h"
#include "document/ContentType.h"
#include "document/DocumentAddress.h"
#include "document/DocumentFile.h"
#include "platform/text/Codepage.h"

namespace tomelet {
namespace {

void AppendHex(std::string& out, std::uint64_t value, std::size_t width) {
  char digits[16];
  const char* const end = std::to_chars(std::begin(digits), std::end(digits), value, 16).ptr;
  const auto count = static_cast<std::size_t>(end - digits);
  out.append(width > count ? width - count : 0, '0');
  out.append(digits, count);
}

// This system's own archive files, read by TArchiveSnapshot.
class TZlbArchive final : public IDocumentArchive {
 public:
  explicit TZlbArchive(std::shared_ptr<const TArchiveSnapshot> snapshot)
      : snapshot_(std::move(snapshot)) {}

  const TArchiveSnapshot& Snapshot() const { return *snapshot_; }

  const std::filesystem::path& FileName() const override { return snapshot_->FileName(); }
  const TFileIdentity& Identity() const override { return snapshot_->Identity(); }
  int EntryCount() const override { return snapshot_->EntryCount(); }
  TDocumentEntry Entry(int index) const override {
    const TEntryView entry = snapshot_->Entry(index);
    return {entry.Path, entry.FileName, ContentSize(entry)};
  }
  int IndexOf(std::string_view archivePath) const override {
    return snapshot_->IndexOf(archivePath);
  }
  std::vector<std::byte> Contents(int index) const override { return snapshot_->Contents(index); }
  std::unique_ptr<TEntryReader> OpenContents(int index, std::int64_t from) const override {
    return snapshot_->OpenContents(index, from);
  }
  void CheckWhole(int index) const override { snapshot_->CheckWhole(index); }
  // The CRC of the contents and their size, in hexadecimal: "crc-size".
  std::string ContentTag(int index) const override {
    const TEntryView entry = snapshot_->Entry(index);
    std::string tag;
    AppendHex(tag, entry.CRC, 8);
    tag += '-';
    AppendHex(tag, static_cast<std::uint64_t>(entry.OriginalSize), 0);
    return tag;
  }
  std::optional<TFileBlock> PlainBlock(int index) const override {
    if (snapshot_->Entry(index).Method != kMethodStored) {
      return std::nullopt;
    }
    return Block(index);
  }
  bool IsKeptDeflated(int index) const override { return snapshot_->IsDeflated(index); }
  std::optional<TFileBlock> DeflatedBlock(int index) const override {
    if (!snapshot_->HasVerifiedZlibStream(index)) {
      return std::nullopt;
    }
    return Block(index);
  }
  std::int64_t InflatedBytes() const override { return snapshot_->InflatedBytes(); }
  std::size_t ReadAt(std::int64_t fileOffset, std::span<std::byte> buffer) const override {
    return snapshot_->ReadAt(fileOffset, buffer);
  }
  int Descriptor() const override { return snapshot_->Descriptor(); }

 private:
  TFileBlock Block(int index) const {
    const TStoredBlock block = snapshot_->StoredBlock(index);
    return {block.FileOffset, block.Length};
  }

  std::shared_ptr<const TArchiveSnapshot> snapshot_;
};

}  // namespace

std::string TDocumentEntry::ArchivePath() const {
  std::string joined(Folder);
  return joined.append(FileName);
}

TDocument::TDocument(std::unique_ptr<const IDocumentArchive> archive)
    : archive_(std::move(archive)) {}

bool TDocument::IsUnchanged() const {
  const auto now = IdentityAt(FileName());
  return now && *now == Identity();
}

TFoundEntry TDocument::Find(std::string archivePath) const {
  if (const int index = IndexOf(archivePath); index >= 0) {
    return {index, std::move(archivePath)};
  }
  if (auto legacy = Utf8ToWindows1252(archivePath); legacy && *legacy != archivePath) {
    if (const int index = IndexOf(*legacy); index >= 0) {
      return {index, std::move(*legacy)};
    }
  }
  return {-1, std::move(archivePath)};
}

std::vector<std::byte> TDocument::ContentsPart(int index, std::int64_t from,
                                               std::size_t size) const {
  std::vector<std::byte> part(size);
  const auto reader = OpenContents(index, from);
  std::size_t got = 0;
  while (got < part.size()) {
    const std::size_t piece = reader->Read(std::span(part).subspan(got));
    if (piece == 0) {
      break;
    }
    got += piece;
  }
  part.resize(got);
  return part;
}

std::string_view TDocument::SniffedType(int index) const {
  return SniffContentType(ContentsPart(index, 0, kSniffedBytes));
}

const TProjectOptions& TDocument::Options() const {
  std::call_once(optionsRead_, [this] {
    if (const int index = IndexOf(kConfigEntry); index >= 0) {
      options_.Read(Contents(index));
    }
    startPagePath_ = StartPageArchivePath(options_.StartPageOption());
  });
  return options_;
}

const std::string& TDocument::StartPagePath() const {
  Options();
  return startPagePath_;
}

const TArchiveSnapshot* TDocument::StoredArchive() const {
  const auto* archive = dynamic_cast<const TZlbArchive*>(archive_.get());
  return archive != nullptr ? &archive->Snapshot() : nullptr;
}

std::shared_ptr<const TDocument> OpenDocument(const std::filesystem::path& path) {
  auto snapshot = OpenExplained(path, [&path] { return TArchiveSnapshot::Open(path); });
  return std::make_shared<const TDocument>(std::make_unique<TZlbArchive>(std::move(snapshot)));
}

std::shared_ptr<const TDocument> ShareDocument(const TZLBArc2& reader) {
  auto snapshot = reader.Snapshot();
  if (!snapshot) {
    throw EZLBArchiveError("No archive is currently open");
  }
  return std::make_shared<const TDocument>(std::make_unique<TZlbArchive>(std::move(snapshot)));
}

}  // namespace tomelet
