#include "library/FolderWatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace tomelet::library {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                  IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF;
constexpr auto kSettle = std::chrono::milliseconds(200);

// The folder a served path lies in and its name there, whatever way the path was written
// ("lib/", "lib/.", "doc.tlt").
std::pair<fs::path, std::string> PlaceOf(const fs::path& served) {
  std::error_code ec;
  fs::path full = fs::absolute(served, ec).lexically_normal();
  if (!full.has_filename()) {
    full = full.parent_path();
  }
  return {full.parent_path(), full.filename().native()};
}

}  // namespace

TFolderWatch::TFolderWatch()
    : inotify_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)),
      wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (inotify_ < 0 || wake_ < 0) {
    const int error = errno;
    for (const int fd : {inotify_, wake_}) {
      if (fd >= 0) {
        ::close(fd);
      }
    }
    throw std::runtime_error("Cannot watch the served folders: " +
                             std::system_category().message(error));
  }
}

TFolderWatch::~TFolderWatch() {
  for (const int fd : {inotify_, wake_}) {
    if (fd >= 0) {
      ::close(fd);
    }
  }
}

void TFolderWatch::Watch(const std::vector<fs::path>& folders,
                         const std::vector<fs::path>& served) {
  for (const auto& folder : folders) {
    const int watch = ::inotify_add_watch(inotify_, folder.c_str(), kEvents);
    if (watch >= 0) {
      folders_.insert(watch);
    }
  }
  for (const auto& path : served) {
    const auto [parent, name] = PlaceOf(path);
    const int watch = ::inotify_add_watch(inotify_, parent.c_str(), kEvents);
    if (watch >= 0) {
      parents_[watch].insert(name);
    }
  }
}

bool TFolderWatch::ReadEvents() {
  alignas(inotify_event) char buffer[8192];
  bool matters = false;
  ssize_t got = 0;
  while ((got = ::read(inotify_, buffer, sizeof buffer)) > 0) {
    for (const char* at = buffer; at < buffer + got;) {
      const auto& event = *reinterpret_cast<const inotify_event*>(at);
      const auto parent = parents_.find(event.wd);
      matters = matters || (event.mask & IN_Q_OVERFLOW) != 0 || folders_.contains(event.wd) ||
                (parent != parents_.end() && event.len > 0 && parent->second.contains(event.name));
      at += sizeof(inotify_event) + event.len;
    }
  }
  return matters;
}

TFolderWatch::TWoken TFolderWatch::Wait(int timeoutMilliseconds) {
  const auto end =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  while (true) {
    int left = -1;
    if (timeoutMilliseconds >= 0) {
      left = static_cast<int>(std::max<std::int64_t>(
          0, std::chrono::duration_cast<std::chrono::milliseconds>(end -
                                                                   std::chrono::steady_clock::now())
                 .count()));
    }
    pollfd fds[2] = {{inotify_, POLLIN, 0}, {wake_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, left);
    if (ready == 0) {
      return TWoken::TimedOut;
    }
    if (ready > 0 && (fds[1].revents & POLLIN) != 0) {
      std::uint64_t count = 0;
      [[maybe_unused]] const auto read = ::read(wake_, &count, sizeof count);
      return TWoken::Asked;
    }
    if (ready > 0 && ReadEvents()) {
      std::this_thread::sleep_for(kSettle);
      ReadEvents();
      return TWoken::Changed;
    }
  }
}

void TFolderWatch::Wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(wake_, &one, sizeof one);
}

}  // namespace tomelet::library
