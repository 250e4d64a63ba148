#include "search/DocumentIndex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "document/Document.h"
#include "document/DocumentEntries.h"
#include "platform/files/TemporaryFolder.h"
#include "platform/files/UserFolders.h"
#include "platform/text/Fnv1a.h"
#include "search/HtmlText.h"
#include "search/IndexCache.h"
#include "search/SoundIndexes.h"

namespace tomelet::search {
namespace {

std::string_view AsText(const std::vector<std::byte>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The document's pages as an index reads them again for its snippets: inflated only as far as
// the range asked for, which is most often near the page's start.
TPageSource PagesOf(std::shared_ptr<const TDocument> archive) {
  return [archive = std::move(archive)](std::string_view path, std::uint64_t start,
                                        std::uint64_t size) -> std::optional<std::string> {
    const int entry = archive->IndexOf(path);
    if (entry < 0) {
      return std::nullopt;
    }
    try {
      return std::string(AsText(archive->ContentsPart(entry, static_cast<std::int64_t>(start),
                                                      static_cast<std::size_t>(size))));
    } catch (const EZLBArchiveError&) {
      return std::nullopt;
    }
  };
}

std::unique_ptr<TSearchIndex> OpenCachedIndex(const std::filesystem::path& path,
                                              TPageSource pages) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return nullptr;
  }
  struct stat status {};
  std::unique_ptr<TSearchIndex> index;
  try {
    if (::fstat(fd, &status) == 0) {
      index = std::make_unique<TSearchIndex>(fd, 0, status.st_size, std::move(pages));
    }
  } catch (const ESearchIndexError&) {
    index.reset();
  }
  ::close(fd);
  if (index) {
    MarkIndexUsed(path);
  }
  return index;
}

void WriteCacheFile(const std::filesystem::path& path, const std::vector<std::byte>& bytes) {
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  std::string temporary = path.string() + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    return;
  }
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n <= 0) {
      break;
    }
    written += static_cast<std::size_t>(n);
  }
  const bool complete = written == bytes.size() && ::fsync(fd) == 0;
  ::close(fd);
  if (!complete || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
  }
}

// The embedded or cached index, whichever exists; refusal says why an embedded one was not used.
std::unique_ptr<TSearchIndex> OpenExistingIndex(const std::shared_ptr<const TDocument>& archive,
                                                std::string_view startPagePath,
                                                std::string& refusal) {
  try {
    if (auto embedded = OpenEmbeddedIndex(archive)) {
      return embedded;
    }
  } catch (const ESearchIndexError& e) {
    refusal = e.what();
  }
  return OpenCachedIndex(CachedIndexPath(*archive, startPagePath), PagesOf(archive));
}

std::unique_ptr<TSearchIndex> BuildCachedIndex(const std::shared_ptr<const TDocument>& archive,
                                               std::string_view startPagePath,
                                               const TIndexProgress& progress) {
  const auto bytes = BuildArchiveIndex(*archive, startPagePath, {}, progress);
  const auto path = CachedIndexPath(*archive, startPagePath);
  WriteCacheFile(path, bytes);
  // Each change of a document leaves the index of its old contents behind.
  PruneIndexCache(path.parent_path(), path);
  if (auto cached = OpenCachedIndex(path, PagesOf(archive))) {
    return cached;
  }
  // No cache folder we may write: keep the index in an unlinked scratch file instead.
  std::string name = (TemporaryFolderPath() / "tomelet-index-XXXXXX").native();
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    throw ESearchIndexError("Cannot store the search index");
  }
  ::unlink(name.c_str());
  const bool complete =
      ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  std::unique_ptr<TSearchIndex> index;
  if (complete) {
    index = std::make_unique<TSearchIndex>(fd, 0, static_cast<std::int64_t>(bytes.size()),
                                           PagesOf(archive));
  }
  ::close(fd);
  if (!index) {
    throw ESearchIndexError("Cannot store the search index");
  }
  return index;
}

}  // namespace

std::vector<std::byte> BuildArchiveIndex(const TDocument& archive, std::string_view startPagePath,
                                         TIndexSettings settings, const TIndexProgress& progress) {
  std::vector<int> pages;
  for (int i = 0; i < archive.EntryCount(); ++i) {
    if (IsHtmlPageName(archive.Entry(i).ArchivePath())) {
      pages.push_back(i);
    }
  }
  if (settings.Language.empty() && !startPagePath.empty()) {
    const int start = archive.IndexOf(startPagePath);
    try {
      settings.Language = start >= 0 ? PageLanguage(AsText(archive.Contents(start))) : "";
    } catch (const EZLBArchiveError&) {
      settings.Language.clear();
    }
  }
  settings.PageCount = pages.size();
  TIndexBuilder builder(settings);
  std::size_t done = 0;
  for (const int index : pages) {
    try {
      builder.AddPage(archive.Entry(index).ArchivePath(), AsText(archive.Contents(index)));
    } catch (const EZLBArchiveError&) {
      // A damaged page is simply not searchable; the rest of the document still is.
    }
    if (progress) {
      progress(++done, pages.size());
    }
  }
  return builder.Finish();
}

std::unique_ptr<TSearchIndex> OpenEmbeddedIndex(const std::shared_ptr<const TDocument>& document) {
  const TDocument& archive = *document;
  const int index = archive.IndexOf(kIndexEntry);
  if (index < 0) {
    return nullptr;
  }
  std::optional<TFileBlock> block;
  std::optional<TIndexBlockIdentity> identity;
  try {
    block = archive.PlainBlock(index);
    if (!block) {
      throw ESearchIndexError(std::string(kDamagedIndexMessage));
    }
    identity = IdentifyIndexBlock(archive.Descriptor(), block->FileOffset, block->Length);
  } catch (const EZLBArchiveError&) {
    throw ESearchIndexError(std::string(kDamagedIndexMessage));
  }
  // Through the opening, which checks the structure and remembers the block as sound.
  const TCheckTurn turn(identity);
  try {
    // A block this process found sound was read whole for its CRC then, and is unchanged since;
    // so was one holding the same bytes.
    if (!identity ||
        !(WasFoundSound(*identity) || IsCopyOfSound(archive.Descriptor(), *identity))) {
      archive.CheckWhole(index);
    }
  } catch (const EZLBArchiveError&) {
    throw ESearchIndexError(std::string(kDamagedIndexMessage));
  }
  auto opened = std::make_unique<TSearchIndex>(archive.Descriptor(), block->FileOffset,
                                               block->Length, PagesOf(document));
  if (identity) {
    KeepSoundContent(archive.Descriptor(), *identity);
  }
  return opened;
}

bool IsCopyOfSoundIndex(const TDocument& archive) {
  const int index = archive.IndexOf(kIndexEntry);
  try {
    const auto block = index < 0 ? std::nullopt : archive.PlainBlock(index);
    const auto identity =
        block ? IdentifyIndexBlock(archive.Descriptor(), block->FileOffset, block->Length)
              : std::nullopt;
    return identity && (WasFoundSound(*identity) || IsCopyOfSound(archive.Descriptor(), *identity));
  } catch (const EZLBArchiveError&) {
    return false;
  }
}

std::filesystem::path IndexCacheFolder() {
  const auto cache = UserFolder(TUserFolder::Cache);
  return (cache.empty() ? TemporaryFolderPath() / ".cache" : cache) / "tomelet";
}

std::filesystem::path CachedIndexPath(const TDocument& archive, std::string_view startPagePath) {
  std::uint64_t hash = Fnv1a(startPagePath);
  hash = Fnv1a(std::to_string(kIndexFormatVersion), hash);
  for (int i = 0; i < archive.EntryCount(); ++i) {
    hash = Fnv1a(archive.Entry(i).ArchivePath(), hash);
    hash = Fnv1a(archive.ContentTag(i), hash);
  }
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.index", static_cast<unsigned long long>(hash));
  return IndexCacheFolder() / name;
}

std::string IndexingMessage(int percent) {
  return "Indexing the document for search: " + std::to_string(percent) + "%";
}

TOpenedIndex OpenDocumentIndex(const std::shared_ptr<const TDocument>& archive,
                               std::string_view startPagePath, const TIndexProgress& progress) {
  TOpenedIndex opened;
  opened.Index = OpenExistingIndex(archive, startPagePath, opened.Refusal);
  if (!opened.Index) {
    opened.Index = BuildCachedIndex(archive, startPagePath, progress);
  }
  return opened;
}

TBackgroundIndex::TBackgroundIndex(std::shared_ptr<const TDocument> archive,
                                   std::string startPagePath, std::function<void()> settled)
    : archive_(std::move(archive)),
      startPagePath_(std::move(startPagePath)),
      settled_(std::move(settled)) {}

TBackgroundIndex::~TBackgroundIndex() {
  stopping_ = true;
  if (worker_.joinable()) {
    worker_.join();
  }
}

TBackgroundIndex::TState TBackgroundIndex::State() {
  const std::lock_guard guard(lock_);
  StartLocked();
  return StateLocked();
}

TBackgroundIndex::TState TBackgroundIndex::OpenedState() {
  std::unique_lock guard(lock_);
  StartLocked();
  openedChanged_.wait(guard, [this] { return opened_; });
  return StateLocked();
}

void TBackgroundIndex::StartLocked() {
  if (!started_) {
    started_ = true;
    working_ = true;
    worker_ = std::thread([this] {
      Run();
      working_ = false;
      if (settled_) {
        settled_();
      }
    });
  }
}

TBackgroundIndex::TState TBackgroundIndex::StateLocked() const {
  TState state = state_;
  state.Opening = !opened_;
  state.Percent = state.Index ? 100 : percent_.load();
  return state;
}

bool TBackgroundIndex::OpenExisting() {
  std::shared_ptr<const TSearchIndex> index;
  std::string refusal;
  std::string error;
  try {
    index = OpenExistingIndex(archive_, startPagePath_, refusal);
  } catch (const std::exception& e) {
    error = e.what();
  }
  const bool done = index || !error.empty();
  {
    const std::lock_guard guard(lock_);
    state_.Index = std::move(index);
    state_.Refusal = std::move(refusal);
    state_.Error = std::move(error);
    opened_ = true;
  }
  openedChanged_.notify_all();
  return done;
}

void TBackgroundIndex::Run() {
  if (OpenExisting()) {
    return;
  }
  std::shared_ptr<const TSearchIndex> index;
  std::string error;
  try {
    index = BuildCachedIndex(archive_, startPagePath_, [this](std::size_t done, std::size_t total) {
      if (stopping_) {
        throw ESearchIndexError("Indexing was stopped");
      }
      // 100 is kept for the index being ready; writing it out comes after the last page.
      percent_ = total == 0 ? 99 : std::min(99, static_cast<int>(done * 100 / total));
    });
  } catch (const std::exception& e) {
    error = e.what();
  }
  const std::lock_guard guard(lock_);
  state_.Index = std::move(index);
  state_.Error = std::move(error);
}

}  // namespace tomelet::search
