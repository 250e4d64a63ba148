#include "platform/process/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

int Reap(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR)
      return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int RunInChildProcess(const std::function<int()>& work, int crashed) {
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
  const int code = Reap(child);
  return code < 0 ? crashed : code;
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
