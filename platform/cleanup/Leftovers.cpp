#include "platform/cleanup/Leftovers.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

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

void Remove(const std::filesystem::path& path, TLeftoverKind kind) {
  std::error_code ignored;
  if (kind == TLeftoverKind::Tree) {
    std::filesystem::remove_all(path, ignored);
  } else {
    // remove() takes an empty folder and never a full one, which is what EmptyFolder asks.
    std::filesystem::remove(path, ignored);
  }
}

// Runs on its own thread; the registry stays locked to the end, so nothing made after the
// removal can slip through.
[[noreturn]] void RemoveOnSignal(sigset_t signals) {
  int signal = 0;
  while (::sigwait(&signals, &signal) != 0) {
  }
  TRegistry& registry = Registry();
  const std::lock_guard hold(registry.mutex);
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
