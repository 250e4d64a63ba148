#include "platform/process/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
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

// A forked child holds only the thread that forked: a lock another thread held at that moment
// (the address sanitizer's allocator takes no care of fork) stays locked in the child for good.
// A child seen asleep without using the processor at this many looks in a row waits for such a
// lock: it is ended and the work forked again. A spin lock keeps the child busy rather than asleep,
// so each attempt is also ended after a while, twice as long as the attempt before it (5 s to
// 80 s) so that slow honest work still finishes.
constexpr int kLookMilliseconds = 100;
constexpr int kStuckLooks = 5;
constexpr int kMostForks = 5;
constexpr std::chrono::seconds kFirstAttemptLength{5};

// Its state letter and the processor time it has used, from /proc; none once it is gone.
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

// The child's code as Reap gives it; none when it was found stuck and has been ended.
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

// What a helper is asked: the argument, and which attempt this is, which sets how long the work
// may take.
struct THelperRequest {
  std::int64_t Argument = 0;
  std::int32_t Attempt = 0;
};
// A helper's answers besides the work's code.
constexpr std::int32_t kHelperFoundStuck = -2;
constexpr std::int32_t kHelperCannotFork = -3;
// Beyond the attempt's own length, for the helper to notice and answer.
constexpr std::chrono::seconds kHelperGrace{2};
// Where a helper keeps its socket: every descriptor above is closed.
constexpr int kHelperSocket = 3;

std::chrono::seconds AttemptLength(int attempt) {
  return kFirstAttemptLength * (1 << attempt);
}

bool SendRequest(int socket, int descriptor, const THelperRequest& request) {
  THelperRequest copy = request;
  iovec part{&copy, sizeof copy};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(sizeof(int));
  std::memcpy(CMSG_DATA(header), &descriptor, sizeof descriptor);
  ssize_t sent = 0;
  do {
    sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(sizeof copy);
}

// The next request and the descriptor sent with it (-1 when none came); false once this
// process's end is closed.
bool ReceiveRequest(int socket, THelperRequest& request, int& descriptor) {
  iovec part{&request, sizeof request};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t received = 0;
  do {
    received = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
  } while (received < 0 && errno == EINTR);
  descriptor = -1;
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
      std::memcpy(&descriptor, CMSG_DATA(header), sizeof descriptor);
    }
  }
  return received == static_cast<ssize_t>(sizeof request);
}

// In the helper: the request's work in a child of its own, as one attempt of RunInChildProcess.
std::int32_t RunRequest(const TForkedHelpers::TWork& work, int descriptor,
                        const THelperRequest& request, int crashed) {
  const pid_t child = ::fork();
  if (child < 0) {
    return kHelperCannotFork;
  }
  if (child == 0) {
    // A helper ended while its child works leaves no orphan working on.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::close(kHelperSocket);
    int code = crashed;
    try {
      code = work(descriptor, request.Argument);
    } catch (...) {
    }
    ::_exit(code);
  }
  const auto code = ReapUnlessStuck(child, AttemptLength(request.Attempt));
  return !code ? kHelperFoundStuck : *code < 0 ? crashed : *code;
}

[[noreturn]] void ServeRequests(const TForkedHelpers::TWork& work, int crashed) {
  for (;;) {
    THelperRequest request;
    int descriptor = -1;
    if (!ReceiveRequest(kHelperSocket, request, descriptor)) {
      ::_exit(0);
    }
    const std::int32_t answer =
        descriptor < 0 || request.Attempt < 0 || request.Attempt >= kMostForks
            ? crashed
            : RunRequest(work, descriptor, request, crashed);
    if (descriptor >= 0) {
      ::close(descriptor);
    }
    if (::send(kHelperSocket, &answer, sizeof answer, MSG_NOSIGNAL) != sizeof answer) {
      ::_exit(0);
    }
  }
}

// In a new helper: only its own socket stays open, so that a connection or a file this process
// closes is not held open by the helper, and the signals that end this process end it too.
[[noreturn]] void BecomeHelper(int socket, const TForkedHelpers::TWork& work, int crashed) {
  if (socket != kHelperSocket && ::dup2(socket, kHelperSocket) < 0) {
    ::_exit(1);
  }
  ::close_range(kHelperSocket + 1, ~0U, 0);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGCHLD}) {
    ::signal(signal, SIG_DFL);
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ServeRequests(work, crashed);
}

// The helper's answer to one request; none when it died or stopped answering.
std::optional<std::int32_t> Ask(int socket, int descriptor, const THelperRequest& request) {
  if (!SendRequest(socket, descriptor, request)) {
    return std::nullopt;
  }
  const auto deadline =
      std::chrono::steady_clock::now() + AttemptLength(request.Attempt) + kHelperGrace;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return std::nullopt;
    }
    pollfd ready{socket, POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) {
      continue;
    }
    std::int32_t answer = 0;
    if (polled <= 0 || ::recv(socket, &answer, sizeof answer, 0) != sizeof answer) {
      return std::nullopt;
    }
    return answer;
  }
}

void EndHelper(pid_t pid, int socket, bool kill) {
  ::close(socket);
  if (kill) {
    ::kill(pid, SIGKILL);
  }
  Reap(pid);
}

}  // namespace

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

TForkedHelpers::TForkedHelpers(TWork work, int crashed)
    : work_(std::move(work)), crashed_(crashed) {}

TForkedHelpers::~TForkedHelpers() {
  for (const auto& helper : idle_) {
    EndHelper(helper.Pid, helper.Socket, false);
  }
}

TForkedHelpers::THelper TForkedHelpers::Take() {
  {
    const std::lock_guard guard(lock_);
    if (!idle_.empty()) {
      const THelper helper = idle_.back();
      idle_.pop_back();
      return helper;
    }
  }
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
    return {};
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    BecomeHelper(ends[1], work_, crashed_);
  }
  ::close(ends[1]);
  if (pid < 0) {
    ::close(ends[0]);
    return {};
  }
  return {pid, ends[0]};
}

void TForkedHelpers::Give(THelper helper) {
  const std::lock_guard guard(lock_);
  idle_.push_back(helper);
}

int TForkedHelpers::RunForked(int descriptor, std::int64_t argument) const {
  return RunInChildProcess(
      [&] {
        const int own = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
        return own < 0 ? crashed_ : work_(own, argument);
      },
      crashed_);
}

int TForkedHelpers::Run(int descriptor, std::int64_t argument) {
  for (std::int32_t attempt = 0; attempt < kMostForks; ++attempt) {
    const THelper helper = Take();
    if (helper.Pid < 0) {
      return RunForked(descriptor, argument);
    }
    const auto answer = Ask(helper.Socket, descriptor, {argument, attempt});
    if (!answer) {
      EndHelper(helper.Pid, helper.Socket, true);
      continue;
    }
    Give(helper);
    if (*answer == kHelperCannotFork) {
      return RunForked(descriptor, argument);
    }
    if (*answer != kHelperFoundStuck) {
      return *answer;
    }
  }
  return crashed_;
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
