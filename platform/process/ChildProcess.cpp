#include "platform/process/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/process/ChildWaits.h"

namespace tomelet {
namespace {

void Limit(int resource, rlim_t value) {
  const rlimit limit{value, value};
  ::setrlimit(resource, &limit);
}

// Address-space limits break the shadow memory of the address sanitizer.
constexpr bool kLimitMemory =
#if defined(__SANITIZE_ADDRESS__)
    false;
#else
    true;
#endif

void ApplyLimits(const TChildLimits& limits) {
  if (kLimitMemory && limits.MemoryBytes > 0)
    Limit(RLIMIT_AS, limits.MemoryBytes);
  if (limits.CpuSeconds > 0)
    Limit(RLIMIT_CPU, limits.CpuSeconds);
  Limit(RLIMIT_FSIZE, 0);
  Limit(RLIMIT_CORE, 0);
  // A write past the file size limit then fails instead of ending the child unexplained.
  ::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace

int Reap(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR)
      return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::optional<std::pair<char, std::string>> ChildActivity(pid_t child) {
  std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
  std::string line;
  if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) {
    return std::nullopt;
  }
  // "pid (name) state ppid ... utime stime ...": the name may hold anything, so the fields are
  // counted from its ")"; utime and stime are the 14th and 15th.
  std::istringstream fields(line.substr(line.rfind(')') + 1));
  char state = 0;
  fields >> state;
  std::string field;
  std::string used;
  for (int i = 4; i <= 15 && fields >> field; ++i) {
    used += i >= 14 ? field + " " : "";
  }
  return std::make_pair(state, used);
}

std::optional<std::pair<char, std::string>> FamilyActivity(pid_t process) {
  auto family = ChildActivity(process);
  std::ifstream children("/proc/" + std::to_string(process) + "/task/" + std::to_string(process) +
                         "/children");
  pid_t child = 0;
  while (family && children >> child) {
    const auto activity = ChildActivity(child);
    if (!activity) {
      // Gone between the two reads: it was not waiting for anything.
      return std::make_pair('R', std::string());
    }
    // A child that has ended but is not yet reaped waits for its parent, which is then stuck.
    const bool waits = activity->first == 'S' || activity->first == 'Z';
    family->first = waits ? family->first : activity->first;
    family->second += activity->second;
  }
  return family;
}

// A forked child holds only the thread that forked: a lock another thread held at that moment
// (the address sanitizer's allocator takes no care of fork) stays locked in the child for good.
// A child seen asleep without using the processor at this many looks in a row waits for such a
// lock: it is ended and the work forked again. A spin lock keeps the child busy rather than asleep,
// so each attempt is also ended after a while, twice as long as the attempt before it (5 s to
// 80 s) so that slow honest work still finishes.
std::optional<int> ReapUnlessStuck(pid_t child, std::chrono::seconds attemptLength) {
  const int exited = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
  if (exited < 0) {
    return Reap(child);
  }
  const auto end = std::chrono::steady_clock::now() + attemptLength;
  auto last = ChildActivity(child);
  for (int still = 0; still < kStuckLooks && std::chrono::steady_clock::now() < end;) {
    pollfd ready{exited, POLLIN, 0};
    const int polled = ::poll(&ready, 1, kLookMilliseconds);
    if (polled > 0 || (polled < 0 && errno != EINTR)) {
      ::close(exited);
      return Reap(child);
    }
    const auto now = ChildActivity(child);
    still = now && last && now->first == 'S' && now->second == last->second ? still + 1 : 0;
    last = now;
  }
  ::close(exited);
  ::kill(child, SIGKILL);
  Reap(child);
  return std::nullopt;
}

int RunInChildProcess(const std::function<int()>& work, int crashed) {
  for (int forks = 0; forks < kMostForks; ++forks) {
    const pid_t child = ::fork();
    if (child < 0) {
      return work();
    }
    if (child == 0) {
      int code = crashed;
      try {
        code = work();
      } catch (...) {
      }
      ::_exit(code);
    }
    if (const auto code = ReapUnlessStuck(child, kFirstAttemptLength * (1 << forks))) {
      return *code < 0 ? crashed : *code;
    }
  }
  return crashed;
}

TBoundedChild::TBoundedChild(const std::function<int(int output)>& work, const TChildLimits& limits)
    : silence_(limits.SilenceSeconds) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0)
    throw EChildProcessError(std::string("Cannot start a reader: ") + std::strerror(errno));
  child_ = ::fork();
  if (child_ < 0) {
    ::close(ends[0]);
    ::close(ends[1]);
    throw EChildProcessError(std::string("Cannot start a reader: ") + std::strerror(errno));
  }
  if (child_ == 0) {
    ::close(ends[0]);
    ApplyLimits(limits);
    int code = 1;
    try {
      code = work(ends[1]);
    } catch (...) {
    }
    ::_exit(code);
  }
  ::close(ends[1]);
  output_ = ends[0];
}

TBoundedChild::~TBoundedChild() {
  if (output_ >= 0)
    ::close(output_);
  if (child_ > 0) {
    ::kill(child_, SIGKILL);
    Reap(child_);
  }
}

std::size_t TBoundedChild::Read(std::span<std::byte> buffer) {
  for (;;) {
    pollfd ready{output_, POLLIN, 0};
    const int timeout = silence_ == 0 ? -1 : static_cast<int>(silence_) * 1000;
    const int polled = ::poll(&ready, 1, timeout);
    if (polled < 0 && errno == EINTR)
      continue;
    if (polled == 0) {
      ::kill(child_, SIGKILL);
      throw EChildProcessError("The reader stopped answering");
    }
    const ssize_t count = ::read(output_, buffer.data(), buffer.size());
    if (count < 0 && errno == EINTR)
      continue;
    if (count < 0)
      throw EChildProcessError(std::string("Cannot read from the reader: ") + std::strerror(errno));
    return static_cast<std::size_t>(count);
  }
}

int TBoundedChild::Finish() {
  ::close(output_);
  output_ = -1;
  const int code = Reap(child_);
  child_ = -1;
  return code;
}

}  // namespace tomelet
