#include "library/Library.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "library/FolderScan.h"
#include "library/FolderWatch.h"
#include "library/OpenDocuments.h"
#include "library/TermSummaries.h"

namespace tomelet::library {
namespace {

namespace fs = std::filesystem;

constexpr auto kMissingGrace = std::chrono::seconds(10);
constexpr int kMissingLookAgainMilliseconds = 1000;

}  // namespace

// A served path as last seen.
struct TServedPath {
  fs::path Path;
  std::vector<TFoundFile> Found;
  // When the path was first found missing; none while it is there.
  std::optional<std::chrono::steady_clock::time_point> MissingSince;
};

struct TLibrary::Impl {
  std::shared_ptr<TOpenDocuments> open;
  std::shared_ptr<TWorkers> workers;
  TScanRules rules;
  mutable std::mutex lock;
  std::shared_ptr<const TDocumentList> documents = std::make_shared<TDocumentList>();
  std::vector<fs::path> folders;
  // Guards the served paths too.
  mutable std::mutex reloading;
  std::vector<TServedPath> served;

  std::unique_ptr<TFolderWatch> watch;
  std::atomic<bool> stopping{false};
  std::thread watcher;
  std::function<void()> onChange;

  std::vector<TFoundFile> Scan(std::vector<fs::path>& seenFolders);
  bool AnyMissing() const;
  void WatchFolders();
  void WatchLoop();
  bool Reload();
};

// A served path that is gone keeps its documents for kMissingGrace: a folder renamed away while
// another is moved into its place, or a file removed and written anew, would otherwise fail
// every request in between.
std::vector<TFoundFile> TLibrary::Impl::Scan(std::vector<fs::path>& seenFolders) {
  std::vector<TFoundFile> found;
  const auto now = std::chrono::steady_clock::now();
  for (auto& path : served) {
    std::error_code ec;
    if (fs::exists(path.Path, ec)) {
      path.Found.clear();
      ScanPath(path.Path, rules, path.Found, seenFolders);
      path.MissingSince.reset();
    } else if (!path.MissingSince) {
      path.MissingSince = now;
    } else if (now - *path.MissingSince >= kMissingGrace) {
      path.Found.clear();
    }
    found.insert(found.end(), path.Found.begin(), path.Found.end());
  }
  return found;
}

bool TLibrary::Impl::AnyMissing() const {
  const std::lock_guard one(reloading);
  return std::any_of(served.begin(), served.end(), [](const TServedPath& path) {
    return path.MissingSince && !path.Found.empty();
  });
}

bool TLibrary::Impl::Reload() {
  const std::lock_guard one(reloading);
  std::vector<fs::path> seenFolders;
  const auto found = Scan(seenFolders);
  std::map<fs::path, std::string> given;
  std::map<std::pair<std::string, fs::path>, std::shared_ptr<TLibraryDocument>> kept;
  for (const auto& document : *documents) {
    given.emplace(document->Path(), document->Name());
    kept[{document->Name(), document->Path()}] = document;
  }
  const auto names = DocumentNames(found, given);
  auto next = std::make_shared<TDocumentList>();
  bool changed = found.size() != documents->size();
  for (std::size_t i = 0; i < found.size(); ++i) {
    const auto old = kept.find({names[i], found[i].Path});
    if (old != kept.end() && old->second->Stamp() == found[i].Stamp) {
      next->push_back(old->second);
    } else {
      next->push_back(
          std::make_shared<TLibraryDocument>(names[i], found[i].Path, found[i].Stamp, open));
      changed = true;
    }
  }
  std::sort(next->begin(), next->end(),
            [](const auto& a, const auto& b) { return a->Name() < b->Name(); });
  {
    const std::lock_guard guard(lock);
    documents = std::move(next);
    folders = std::move(seenFolders);
  }
  return changed;
}

TLibrary::TLibrary(std::vector<fs::path> paths, TLibraryOptions options)
    : impl_(std::make_unique<Impl>()) {
  for (auto& path : paths) {
    std::error_code ec;
    if (!fs::is_directory(path, ec) && !fs::is_regular_file(path, ec)) {
      throw std::runtime_error(path.string() + ": no such document or folder");
    }
    impl_->served.push_back({std::move(path), {}, std::nullopt});
  }
  impl_->open = std::make_shared<TOpenDocuments>(options.OpenLimit);
  impl_->rules = {.Recursive = options.Recursive, .FollowLinks = options.FollowLinks};
  impl_->workers = std::move(options.Workers);
  impl_->Reload();
}

TLibrary::~TLibrary() {
  impl_->stopping = true;
  if (impl_->watch) {
    impl_->watch->Wake();
  }
  if (impl_->watcher.joinable()) {
    impl_->watcher.join();
  }
  // Its searches' summaries are stored on a thread of their own; a program that ends, or that
  // clears the cache folder, finds them written.
  FinishStoringSummaries();
}

std::shared_ptr<const TDocumentList> TLibrary::Documents() const {
  const std::lock_guard guard(impl_->lock);
  return impl_->documents;
}

std::shared_ptr<TLibraryDocument> TLibrary::Find(std::string_view name) const {
  const auto documents = Documents();
  const auto found = std::lower_bound(
      documents->begin(), documents->end(), name,
      [](const auto& document, std::string_view wanted) { return document->Name() < wanted; });
  return found != documents->end() && (*found)->Name() == name ? *found : nullptr;
}

std::size_t TLibrary::OpenLimit() const {
  return impl_->open->Limit();
}

TWorkers* TLibrary::Workers() const {
  return impl_->workers.get();
}

bool TLibrary::Reload() {
  const bool changed = impl_->Reload();
  if (changed && impl_->onChange) {
    impl_->onChange();
  }
  return changed;
}

void TLibrary::ReloadSoon() {
  if (impl_->watch) {
    impl_->watch->Wake();
  } else {
    Reload();
  }
}

void TLibrary::Watch(std::function<void()> onChange) {
  impl_->onChange = std::move(onChange);
  impl_->watch = std::make_unique<TFolderWatch>();
  impl_->WatchFolders();
  impl_->watcher = std::thread([this] { impl_->WatchLoop(); });
}

// Watches are added again after every reload, which also covers subfolders made since.
void TLibrary::Impl::WatchFolders() {
  std::vector<fs::path> now;
  {
    const std::lock_guard guard(lock);
    now = folders;
  }
  std::vector<fs::path> paths;
  {
    const std::lock_guard one(reloading);
    for (const auto& path : served) {
      paths.push_back(path.Path);
    }
  }
  watch->Watch(now, paths);
}

// While a served path is missing it is looked for again every so often, so that its documents
// go once the grace is over even when nothing else happens.
void TLibrary::Impl::WatchLoop() {
  while (!stopping) {
    watch->Wait(AnyMissing() ? kMissingLookAgainMilliseconds : -1);
    if (!stopping && Reload()) {
      WatchFolders();
      if (onChange) {
        onChange();
      }
    }
  }
}

}  // namespace tomelet::library
