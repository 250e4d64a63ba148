#include "library/Library.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "library/OpenDocuments.h"

namespace tomelet::library {
namespace {

namespace fs = std::filesystem;

// Changes come in bursts (a copy writes, closes, renames): one reload after things settle.
constexpr int kSettleMilliseconds = 200;

bool Stamp(const fs::path& path, TFileIdentity& stamp, bool& executable) {
  std::error_code ec;
  const auto status = fs::status(path, ec);
  const auto identity = IdentityAt(path);
  if (ec || !fs::is_regular_file(status) || !identity) {
    return false;
  }
  stamp = *identity;
  constexpr auto kAnyExecute =
      fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  executable = (status.permissions() & kAnyExecute) != fs::perms::none;
  return true;
}

void AddIfDocument(const fs::path& path, const fs::path& relative, std::vector<TFoundFile>& found) {
  TFoundFile file{path, relative, {}};
  bool executable = false;
  if (Stamp(path, file.Stamp, executable) && LooksLikeDocument(path, executable)) {
    found.push_back(std::move(file));
  }
}

void ScanFolder(const fs::path& folder, bool recursive, std::vector<TFoundFile>& found,
                std::vector<fs::path>& folders) {
  folders.push_back(folder);
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& path = it->path();
    if (path.filename().native().starts_with('.')) {
      continue;
    }
    if (it->is_directory(ec)) {
      if (recursive) {
        std::vector<TFoundFile> inner;
        ScanFolder(path, recursive, inner, folders);
        for (auto& file : inner) {
          file.Relative = path.filename() / file.Relative;
          found.push_back(std::move(file));
        }
      }
      continue;
    }
    AddIfDocument(path, path.filename(), found);
  }
}

}  // namespace

struct TLibrary::Impl {
  std::shared_ptr<TOpenDocuments> open;
  std::shared_ptr<TWorkers> workers;
  std::vector<fs::path> paths;
  bool recursive = false;
  mutable std::mutex lock;
  std::shared_ptr<const TDocumentList> documents = std::make_shared<TDocumentList>();
  std::vector<fs::path> folders;
  std::mutex reloading;

  int inotify = -1;
  int wake = -1;
  std::atomic<bool> stopping{false};
  std::thread watcher;
  std::function<void()> onChange;

  std::vector<TFoundFile> Scan(std::vector<fs::path>& seenFolders) const {
    std::vector<TFoundFile> found;
    for (const auto& path : paths) {
      std::error_code ec;
      if (fs::is_directory(path, ec)) {
        std::vector<TFoundFile> inside;
        ScanFolder(path, recursive, inside, seenFolders);
        found.insert(found.end(), inside.begin(), inside.end());
      } else {
        TFoundFile file{path, path.filename(), {}};
        bool executable = false;
        if (Stamp(path, file.Stamp, executable)) {
          found.push_back(std::move(file));
        }
      }
    }
    return found;
  }

  void WatchFolders();
  void WatchLoop();
  bool Reload();
};

bool TLibrary::Impl::Reload() {
  const std::lock_guard one(reloading);
  std::vector<fs::path> seenFolders;
  const auto found = Scan(seenFolders);
  const auto names = DocumentNames(found);
  std::map<std::pair<std::string, fs::path>, std::shared_ptr<TLibraryDocument>> kept;
  for (const auto& document : *documents) {
    kept[{document->Name(), document->Path()}] = document;
  }
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
  for (const auto& path : paths) {
    std::error_code ec;
    if (!fs::is_directory(path, ec) && !fs::is_regular_file(path, ec)) {
      throw std::runtime_error(path.string() + ": no such document or folder");
    }
  }
  impl_->open = std::make_shared<TOpenDocuments>(options.OpenLimit);
  impl_->paths = std::move(paths);
  impl_->recursive = options.Recursive;
  impl_->workers = std::move(options.Workers);
  impl_->Reload();
}

TLibrary::~TLibrary() {
  impl_->stopping = true;
  if (impl_->wake >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(impl_->wake, &one, sizeof one);
  }
  if (impl_->watcher.joinable()) {
    impl_->watcher.join();
  }
  for (const int fd : {impl_->inotify, impl_->wake}) {
    if (fd >= 0) {
      ::close(fd);
    }
  }
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

void TLibrary::Watch(std::function<void()> onChange) {
  impl_->onChange = std::move(onChange);
  impl_->inotify = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  impl_->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (impl_->inotify < 0 || impl_->wake < 0) {
    throw std::runtime_error("Cannot watch the served folders: " +
                             std::system_category().message(errno));
  }
  impl_->WatchFolders();
  impl_->watcher = std::thread([this] { impl_->WatchLoop(); });
}

// Watches are added again after every reload, which also covers subfolders made since; adding
// a watch twice only updates it.
void TLibrary::Impl::WatchFolders() {
  std::vector<fs::path> now;
  {
    const std::lock_guard guard(lock);
    now = folders;
  }
  for (const auto& folder : now) {
    ::inotify_add_watch(inotify, folder.c_str(),
                        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                            IN_ATTRIB | IN_DELETE_SELF);
  }
}

void TLibrary::Impl::WatchLoop() {
  char events[4096];
  while (!stopping) {
    pollfd fds[2] = {{inotify, POLLIN, 0}, {wake, POLLIN, 0}};
    if (::poll(fds, 2, -1) <= 0 || stopping) {
      continue;
    }
    // Let the burst finish, then empty the queue once.
    std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMilliseconds));
    while (::read(inotify, events, sizeof events) > 0) {
    }
    if (!stopping && Reload()) {
      WatchFolders();
      if (onChange) {
        onChange();
      }
    }
  }
}

}  // namespace tomelet::library
