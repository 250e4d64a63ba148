#include "platform/cleanup/Leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <map>
#include <thread>
#include <utility>

namespace tomelet {
namespace {

struct TRegistry {
  std::mutex mutex;
  std::uint64_t nextTicket = 1;
  std::map<std::uint64_t, std::pair<std::filesystem::path, TLeftoverKind>> paths;
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kMaxThreads = 1024;
constexpr int kMaxDepth = 64;

std::atomic<int> frozenThreads{0};

// Runs in every other thread once an interruption is taken: it stops there for good, so that no
// thread writes into what is being removed. Counting and pausing are safe in a signal handler.
extern "C" void Freeze(int) {
  frozenThreads.fetch_add(1);
  for (;;) {
    ::pause();
  }
}

// Calls visit with each name in the open folder, "." and ".." left out; no memory is allocated,
// since a frozen thread may hold the allocator's lock.
template <typename Visit>
void ForEachName(int folder, Visit visit) {
  alignas(dirent64) char buffer[2048];
  ::lseek(folder, 0, SEEK_SET);
  for (;;) {
    const ssize_t got = ::getdents64(folder, buffer, sizeof buffer);
    if (got <= 0) {
      return;
    }
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
      at += entry->d_reclen;
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
        visit(entry->d_name);
      }
    }
  }
}

void FreezeOtherThreads() {
  struct sigaction freeze {};
  freeze.sa_handler = Freeze;
  ::sigfillset(&freeze.sa_mask);
  ::sigaction(SIGRTMIN, &freeze, nullptr);
  const pid_t self = static_cast<pid_t>(::syscall(SYS_gettid));
  const int tasks = ::open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (tasks < 0) {
    return;
  }
  pid_t asked[kMaxThreads];
  std::size_t askedCount = 0;
  // A thread may start another before it is frozen: list again until no new one shows.
  for (bool found = true; found && askedCount < kMaxThreads;) {
    found = false;
    ForEachName(tasks, [&](const char* name) {
      pid_t thread = 0;
      std::from_chars(name, name + std::strlen(name), thread);
      if (thread <= 0 || thread == self || askedCount == kMaxThreads ||
          std::find(asked, asked + askedCount, thread) != asked + askedCount) {
        return;
      }
      if (::syscall(SYS_tgkill, ::getpid(), thread, SIGRTMIN) == 0) {
        asked[askedCount++] = thread;
        found = true;
      }
    });
    // A thread that is ending never answers; a second is long enough for the rest.
    for (int waited = 0; waited < 1000 && frozenThreads.load() < static_cast<int>(askedCount);
         ++waited) {
      const timespec millisecond{0, 1'000'000};
      ::nanosleep(&millisecond, nullptr);
    }
  }
  ::close(tasks);
}

void RemoveTree(int parent, const char* name, int depth) {
  if (::unlinkat(parent, name, 0) == 0 || errno == ENOENT || depth > kMaxDepth) {
    return;
  }
  const int folder = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) {
    return;
  }
  // Names removed while the folder is read may hide others from that reading: read it again
  // until a reading finds nothing.
  for (bool found = true; found;) {
    found = false;
    ForEachName(folder, [&](const char* inner) {
      found = true;
      RemoveTree(folder, inner, depth + 1);
    });
  }
  ::close(folder);
  ::unlinkat(parent, name, AT_REMOVEDIR);
}

void Remove(const std::filesystem::path& path, TLeftoverKind kind) {
  switch (kind) {
    case TLeftoverKind::File:
      ::unlink(path.c_str());
      break;
    case TLeftoverKind::EmptyFolder:
      ::rmdir(path.c_str());
      break;
    case TLeftoverKind::Tree:
      RemoveTree(AT_FDCWD, path.c_str(), 0);
      break;
  }
}

// Runs on its own thread. The registry stays locked to the end, so nothing registered later
// can slip through, and the other threads are frozen before anything is removed.
[[noreturn]] void RemoveOnSignal(sigset_t signals) {
  int signal = 0;
  while (::sigwait(&signals, &signal) != 0) {
  }
  TRegistry& registry = Registry();
  registry.mutex.lock();
  FreezeOtherThreads();
  for (auto made = registry.paths.rbegin(); made != registry.paths.rend(); ++made) {
    Remove(made->second.first, made->second.second);
  }
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  ::sigaction(signal, &standard, nullptr);
  sigset_t only;
  ::sigemptyset(&only);
  ::sigaddset(&only, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(signal);
  ::_exit(128 + signal);
}

}  // namespace

TLeftovers::TLeftovers() : lock_(Registry().mutex) {}

std::uint64_t TLeftovers::Add(std::filesystem::path path, TLeftoverKind kind) {
  TRegistry& registry = Registry();
  const std::uint64_t ticket = registry.nextTicket++;
  registry.paths.emplace(ticket, std::pair(std::move(path), kind));
  return ticket;
}

void TLeftovers::Forget(std::uint64_t ticket) {
  Registry().paths.erase(ticket);
}

void RemoveLeftoversOnInterrupt() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    sigset_t signals;
    ::sigemptyset(&signals);
    for (const int signal : kInterruptions) {
      struct sigaction current {};
      if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
        ::sigaddset(&signals, signal);
      }
    }
    if (::sigisemptyset(&signals) != 0) {
      return;
    }
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread(RemoveOnSignal, signals).detach();
  });
}

}  // namespace tomelet
