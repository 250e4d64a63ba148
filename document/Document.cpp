#include "document/Document.h"

#include "ZLIBArchive2/EntryChecks.h"
#include "document/ContentType.h"
#include "document/DocumentAddress.h"

namespace tomelet {
namespace {

// The document archive format of this system, read by TArchiveSnapshot.
class TZlbArchive final : public IDocumentArchive {
 public:
  explicit TZlbArchive(std::shared_ptr<const TArchiveSnapshot> snapshot)
      : snapshot_(std::move(snapshot)) {}

  const std::filesystem::path& FileName() const override { return snapshot_->FileName(); }
  const TFileIdentity& Identity() const override { return snapshot_->Identity(); }
  int EntryCount() const override { return snapshot_->EntryCount(); }
  TEntryView Entry(int index) const override { return snapshot_->Entry(index); }
  int IndexOf(std::string_view archivePath) const override {
    return snapshot_->IndexOf(archivePath);
  }
  bool IsDeflated(int index) const override { return snapshot_->IsDeflated(index); }
  std::vector<std::byte> Contents(int index) const override { return snapshot_->Contents(index); }
  std::unique_ptr<TEntryReader> OpenContents(int index, std::int64_t from) const override {
    return snapshot_->OpenContents(index, from);
  }
  void CheckWhole(int index) const override { snapshot_->CheckWhole(index); }
  bool HasVerifiedZlibStream(int index) const override {
    return snapshot_->HasVerifiedZlibStream(index);
  }
  TStoredBlock StoredBlock(int index) const override { return snapshot_->StoredBlock(index); }
  std::int64_t InflatedBytes() const override { return snapshot_->InflatedBytes(); }
  std::size_t ReadAt(std::int64_t fileOffset, std::span<std::byte> buffer) const override {
    return snapshot_->ReadAt(fileOffset, buffer);
  }
  int Descriptor() const override { return snapshot_->Descriptor(); }

 private:
  std::shared_ptr<const TArchiveSnapshot> snapshot_;
};

}  // namespace

TDocument::TDocument(std::unique_ptr<const IDocumentArchive> archive)
    : archive_(std::move(archive)) {}

bool TDocument::IsUnchanged() const {
  const auto now = IdentityAt(FileName());
  return now && *now == Identity();
}

int TDocument::IndexOf(std::string_view archivePath) const {
  return archive_->IndexOf(archivePath);
}

void TDocument::Extract(int index, const std::string&, TMemoryStream& dest) const {
  dest.Write(Contents(index));
}

std::unique_ptr<TEntryReader> TDocument::OpenContents(int index) const {
  return archive_->OpenContents(index, 0);
}

std::unique_ptr<TEntryReader> TDocument::OpenContents(int index, std::int64_t from) const {
  return archive_->OpenContents(index, from);
}

std::string_view TDocument::SniffedType(int index) const {
  std::vector<std::byte> head(kSniffedBytes);
  const auto reader = OpenContents(index);
  std::size_t got = 0;
  while (got < head.size()) {
    const std::size_t piece = reader->Read(std::span(head).subspan(got));
    if (piece == 0) {
      break;
    }
    got += piece;
  }
  return SniffContentType(std::span(head).first(got));
}

std::vector<std::byte> TDocument::StoredBytes(int index) const {
  const TStoredBlock block = StoredBlock(index);
  std::vector<std::byte> bytes(static_cast<std::size_t>(block.Length));
  if (ReadAt(block.FileOffset, bytes) != bytes.size()) {
    RaiseCorrupted();
  }
  return bytes;
}

const TProjectOptions& TDocument::Options() const {
  std::call_once(optionsRead_, [this] {
    options_ = ReadDocumentOptions(*this);
    startPage_ = StartPageArchivePath(options_.StartPage());
  });
  return options_;
}

const std::string& TDocument::StartPage() const {
  Options();
  return startPage_;
}

std::shared_ptr<const TDocument> OpenDocument(const std::filesystem::path& path) {
  return std::make_shared<const TDocument>(
      std::make_unique<TZlbArchive>(TArchiveSnapshot::Open(path)));
}

std::shared_ptr<const TDocument> ShareDocument(const TZLBArc2& reader) {
  auto snapshot = reader.Snapshot();
  if (!snapshot) {
    throw EZLBArchiveError("No archive is currently open");
  }
  return std::make_shared<const TDocument>(std::make_unique<TZlbArchive>(std::move(snapshot)));
}

}  // namespace tomelet
