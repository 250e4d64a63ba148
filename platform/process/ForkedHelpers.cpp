#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include "platform/process/ChildProcess.h"
#include "platform/process/ChildWaits.h"

namespace tomelet {
namespace {

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

// A request's message, with room for the one descriptor sent beside it.
struct TRequestMessage {
  explicit TRequestMessage(THelperRequest& request) : Part{&request, sizeof request} {
    Message.msg_iov = &Part;
    Message.msg_iovlen = 1;
    Message.msg_control = Control;
    Message.msg_controllen = sizeof Control;
  }
  TRequestMessage(const TRequestMessage&) = delete;
  TRequestMessage& operator=(const TRequestMessage&) = delete;

  iovec Part;
  alignas(cmsghdr) char Control[CMSG_SPACE(sizeof(int))] = {};
  msghdr Message{};
};

bool SendRequest(int socket, int descriptor, const THelperRequest& request) {
  THelperRequest copy = request;
  TRequestMessage sent(copy);
  msghdr& message = sent.Message;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(sizeof(int));
  std::memcpy(CMSG_DATA(header), &descriptor, sizeof descriptor);
  ssize_t count = 0;
  do {
    count = ::sendmsg(socket, &message, MSG_NOSIGNAL);
  } while (count < 0 && errno == EINTR);
  return count == static_cast<ssize_t>(sizeof copy);
}

// The next request and the descriptor sent with it (-1 when none came); false once this
// process's end is closed.
bool ReceiveRequest(int socket, THelperRequest& request, int& descriptor) {
  TRequestMessage received(request);
  msghdr& message = received.Message;
  ssize_t count = 0;
  do {
    count = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
  } while (count < 0 && errno == EINTR);
  descriptor = -1;
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
      std::memcpy(&descriptor, CMSG_DATA(header), sizeof descriptor);
    }
  }
  return count == static_cast<ssize_t>(sizeof request);
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

// The helper's answer to one request; none when it died, stopped answering, or was found stuck
// on a lock held at its fork: asleep without using the processor, its child asleep too (it
// inherited the lock) or ended and never reaped.
std::optional<std::int32_t> Ask(pid_t helper, int socket, int descriptor,
                                const THelperRequest& request) {
  if (!SendRequest(socket, descriptor, request)) {
    return std::nullopt;
  }
  const auto deadline =
      std::chrono::steady_clock::now() + AttemptLength(request.Attempt) + kHelperGrace;
  auto last = FamilyActivity(helper);
  for (int still = 0; still < kStuckLooks && std::chrono::steady_clock::now() < deadline;) {
    pollfd ready{socket, POLLIN, 0};
    const int polled = ::poll(&ready, 1, kLookMilliseconds);
    if (polled < 0 && errno == EINTR) {
      continue;
    }
    if (polled != 0) {
      std::int32_t answer = 0;
      if (polled < 0 || ::recv(socket, &answer, sizeof answer, 0) != sizeof answer) {
        return std::nullopt;
      }
      return answer;
    }
    const auto now = FamilyActivity(helper);
    still = now && last && now->first == 'S' && now->second == last->second ? still + 1 : 0;
    last = now;
  }
  return std::nullopt;
}

void EndHelper(pid_t pid, int socket, bool kill) {
  ::close(socket);
  if (kill) {
    ::kill(pid, SIGKILL);
  }
  Reap(pid);
}

}  // namespace

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

void TForkedHelpers::Prepare() {
  const THelper helper = Take();
  if (helper.Pid >= 0) {
    Give(helper);
  }
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
    const auto answer = Ask(helper.Pid, helper.Socket, descriptor, {argument, attempt});
    if (!answer) {
      EndHelper(helper.Pid, helper.Socket, true);
      continue;
    }
    if (*answer == kHelperFoundStuck) {
      // Its child inherited the lock it was stuck on from the helper, whose every later child
      // would inherit it too: the next attempt goes to a new helper.
      EndHelper(helper.Pid, helper.Socket, true);
      continue;
    }
    Give(helper);
    if (*answer == kHelperCannotFork) {
      return RunForked(descriptor, argument);
    }
    return *answer;
  }
  return crashed_;
}

}  // namespace tomelet
