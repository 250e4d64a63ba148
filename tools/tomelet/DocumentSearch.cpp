#include "tools/tomelet/DocumentSearch.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "document/DocumentAddress.h"
#include "document/ProjectOptions.h"
#include "search/DocumentIndex.h"
#include "tools/tomelet/PackInput.h"

namespace tomelet::cli {
namespace {

std::string AsArchivePath(std::string name) {
  name = name.substr(0, name.find_first_of("?#"));
  for (char& c : name) {
    if (c == '/') {
      c = '\\';
    }
  }
  return name;
}

}  // namespace

std::string StartPageEntry(const TArchiveSnapshot& archive) {
  const int index = archive.IndexOf("-config-");
  if (index < 0) {
    return {};
  }
  TProjectOptions options;
  options.Read(archive.Contents(index));
  return StartPageArchivePath(options.StartPage());
}

std::unique_ptr<search::TIndexBuilder> MakePackIndexBuilder(const std::vector<PackFile>& files,
                                                            const std::string& startPage,
                                                            const std::string& language) {
  search::TIndexSettings settings{language};
  const std::string wanted = FoldArchivePath(AsArchivePath(startPage));
  for (const auto& file : files) {
    if (settings.Language.empty() && !wanted.empty() &&
        FoldArchivePath(file.archivePath) == wanted) {
      std::ifstream in(file.source, std::ios::binary);
      const std::string html{std::istreambuf_iterator<char>(in), {}};
      settings.Language = search::PageLanguage(html);
    }
  }
  return std::make_unique<search::TIndexBuilder>(settings);
}

namespace {
constexpr std::size_t kQueuedPages = 32;
}

TPackIndexer::TPackIndexer(std::unique_ptr<search::TIndexBuilder> builder)
    : builder_(std::move(builder)), worker_([this] { Work(); }) {}

TPackIndexer::~TPackIndexer() {
  {
    const std::lock_guard guard(lock_);
    queue_.clear();
    closed_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) {
    worker_.join();
  }
}

void TPackIndexer::Add(std::string archivePath, std::vector<std::byte> html) {
  std::unique_lock guard(lock_);
  changed_.wait(guard, [this] { return queue_.size() < kQueuedPages || failure_; });
  queue_.emplace_back(std::move(archivePath), std::move(html));
  changed_.notify_all();
}

void TPackIndexer::Work() {
  while (true) {
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return !queue_.empty() || closed_; });
    if (queue_.empty()) {
      return;
    }
    auto [path, html] = std::move(queue_.front());
    queue_.pop_front();
    changed_.notify_all();
    guard.unlock();
    try {
      if (!failure_) {
        builder_->AddPage(path, {reinterpret_cast<const char*>(html.data()), html.size()});
      }
    } catch (...) {
      const std::lock_guard relock(lock_);
      failure_ = std::current_exception();
      changed_.notify_all();
    }
  }
}

std::vector<std::byte> TPackIndexer::Finish() {
  {
    const std::lock_guard guard(lock_);
    closed_ = true;
  }
  changed_.notify_all();
  worker_.join();
  if (failure_) {
    std::rethrow_exception(failure_);
  }
  return builder_->Finish();
}

search::TIndexProgress IndexingProgress() {
  if (::isatty(STDERR_FILENO) != 1) {
    return {};
  }
  return [shown = -1](std::size_t done, std::size_t total) mutable {
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    if (percent != shown) {
      shown = percent;
      std::fprintf(stderr, "\rIndexing the document for search: %3d%%", percent);
      if (done == total) {
        std::fputc('\n', stderr);
      }
      std::fflush(stderr);
    }
  };
}

}  // namespace tomelet::cli
