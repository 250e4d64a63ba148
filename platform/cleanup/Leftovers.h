// What this process is making on disk and must take away again when an interruption (SIGINT,
// SIGTERM, SIGHUP) ends it first: a registry of paths, emptied by one thread that waits for those
// signals. That thread first freezes every other thread (their only handler counts and pauses),
// then removes with plain system calls, so no signal handler and no frozen lock is in the way.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>

namespace tomelet {

enum class TLeftoverKind : std::uint8_t {
  File,         // unlinked
  EmptyFolder,  // removed only when nothing else was put in it
  Tree,         // removed with everything in it
};

// A hold on the registry. While one lives, an interruption waits, so a path made under a hold and
// registered through it before the hold ends is never left behind. Holds are short: the
// interruption waits for them. Do not nest them in one thread.
class TLeftovers {
 public:
  TLeftovers();
  TLeftovers(const TLeftovers&) = delete;
  TLeftovers& operator=(const TLeftovers&) = delete;

  // Registers a path this process has just made; the ticket, never 0, forgets it again.
  std::uint64_t Add(std::filesystem::path path, TLeftoverKind kind);
  // The path is in its final place, or already removed: an interruption leaves it alone. Ticket 0
  // stands for nothing registered.
  void Forget(std::uint64_t ticket);

 private:
  std::unique_lock<std::mutex> lock_;
};

// From now on SIGINT, SIGTERM and SIGHUP remove every registered path, newest first, then end the
// process by that same signal, as if no one had caught it (a shell sees 128 + N). The signals are
// blocked in the calling thread, whose mask every thread started later inherits, and taken by a
// thread of its own: call it before any other thread is started. It takes SIGRTMIN for the
// freezing. A signal ignored when it is
// called stays ignored. Calling it again does nothing.
void RemoveLeftoversOnInterrupt();

}  // namespace tomelet
