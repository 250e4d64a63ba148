#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include "platform/process/ChildProcess.h"
#include "platform/process/ChildWaits.h"

namespace tomelet {
namespace {

constexpr std::size_t kMostTasks = TForkedHelpers::kMostTasks;

// What a helper is asked: which attempt this is, which sets how long the work may take, and the
// argument of each task, whose descriptor is sent beside it.
struct THelperRequest {
  std::int32_t Attempt = 0;
  std::int32_t Count = 0;
  std::int64_t Arguments[kMostTasks] = {};
};
// How a helper's child did: the work's codes are valid only when it did all its tasks.
constexpr std::int32_t kHelperDone = 0;
constexpr std::int32_t kHelperChildFailed = -1;
constexpr std::int32_t kHelperFoundStuck = -2;
constexpr std::int32_t kHelperCannotFork = -3;
struct THelperAnswer {
  std::int32_t Status = kHelperChildFailed;
  std::uint8_t Codes[kMostTasks] = {};
};
// Beyond the attempt's own length, for the helper to notice and answer.
constexpr std::chrono::seconds kHelperGrace{2};
// Where a helper keeps its socket: every descriptor above is closed.
constexpr int kHelperSocket = 3;

std::chrono::seconds AttemptLength(int attempt) {
  return kFirstAttemptLength * (1 << attempt);
}

// A request's message, with room for a descriptor for each task.
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
  alignas(cmsghdr) char Control[CMSG_SPACE(sizeof(int) * kMostTasks)] = {};
  msghdr Message{};
};

bool SendRequest(int socket, std::span<const int> descriptors, const THelperRequest& request) {
  THelperRequest copy = request;
  TRequestMessage sent(copy);
  msghdr& message = sent.Message;
  message.msg_controllen = CMSG_SPACE(sizeof(int) * descriptors.size());
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(sizeof(int) * descriptors.size());
  std::memcpy(CMSG_DATA(header), descriptors.data(), sizeof(int) * descriptors.size());
  ssize_t count = 0;
  do {
    count = ::sendmsg(socket, &message, MSG_NOSIGNAL);
  } while (count < 0 && errno == EINTR);
  return count == static_cast<ssize_t>(sizeof copy);
}

// The next request and the descriptors sent with it; false once this process's end is closed.
bool ReceiveRequest(int socket, THelperRequest& request, std::vector<int>& descriptors) {
  TRequestMessage received(request);
  msghdr& message = received.Message;
  ssize_t count = 0;
  do {
    count = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
  } while (count < 0 && errno == EINTR);
  descriptors.clear();
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
      const std::size_t sent = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      const std::size_t first = descriptors.size();
      descriptors.resize(first + sent);
      std::memcpy(descriptors.data() + first, CMSG_DATA(header), sent * sizeof(int));
    }
  }
  return count == static_cast<ssize_t>(sizeof request);
}

// In the helper's child: each task in turn, its code written as it is known.
[[noreturn]] void DoTasks(const TForkedHelpers::TWork& work, const std::vector<int>& descriptors,
                          const THelperRequest& request, int crashed, int codes) {
  // A helper ended while its child works leaves no orphan working on.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  ::close(kHelperSocket);
  for (std::size_t task = 0; task < descriptors.size(); ++task) {
    int code = crashed;
    try {
      code = work(descriptors[task], request.Arguments[task]);
    } catch (...) {
    }
    const auto byte = static_cast<std::uint8_t>(code);
    if (::write(codes, &byte, 1) != 1) {
      ::_exit(1);
    }
  }
  ::_exit(0);
}

// In the helper: the request's tasks in a child of their own, as one attempt of
// RunInChildProcess. The codes fit in the pipe, so the child never waits for them to be read.
THelperAnswer RunRequest(const TForkedHelpers::TWork& work, const std::vector<int>& descriptors,
                         const THelperRequest& request, int crashed) {
  THelperAnswer answer;
  int codes[2];
  if (::pipe2(codes, O_CLOEXEC) != 0) {
    answer.Status = kHelperCannotFork;
    return answer;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(codes[0]);
    DoTasks(work, descriptors, request, crashed, codes[1]);
  }
  ::close(codes[1]);
  if (child < 0) {
    ::close(codes[0]);
    answer.Status = kHelperCannotFork;
    return answer;
  }
  const auto exit = ReapUnlessStuck(child, AttemptLength(request.Attempt));
  const ssize_t read = ::read(codes[0], answer.Codes, descriptors.size());
  ::close(codes[0]);
  answer.Status = !exit ? kHelperFoundStuck
                  : *exit == 0 && read == static_cast<ssize_t>(descriptors.size())
                      ? kHelperDone
                      : kHelperChildFailed;
  return answer;
}

bool IsValid(const THelperRequest& request, const std::vector<int>& descriptors) {
  return request.Attempt >= 0 && request.Attempt < kMostForks && request.Count > 0 &&
         static_cast<std::size_t>(request.Count) == descriptors.size() &&
         descriptors.size() <= kMostTasks;
}

[[noreturn]] void ServeRequests(const TForkedHelpers::TWork& work, int crashed) {
  for (;;) {
    THelperRequest request;
    std::vector<int> descriptors;
    if (!ReceiveRequest(kHelperSocket, request, descriptors)) {
      ::_exit(0);
    }
    const THelperAnswer answer = IsValid(request, descriptors)
                                     ? RunRequest(work, descriptors, request, crashed)
                                     : THelperAnswer{};
    for (const int descriptor : descriptors) {
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

// The tasks' descriptors and arguments, as a helper is asked them.
THelperRequest RequestOf(std::span<const TForkedHelpers::TTask> tasks, std::int32_t attempt,
                         std::vector<int>& descriptors) {
  THelperRequest request;
  request.Attempt = attempt;
  request.Count = static_cast<std::int32_t>(tasks.size());
  for (std::size_t task = 0; task < tasks.size(); ++task) {
    request.Arguments[task] = tasks[task].Argument;
    descriptors.push_back(tasks[task].Descriptor);
  }
  return request;
}

// The helper's answer to one request; none when it died, stopped answering, or was found stuck
// on a lock held at its fork: asleep without using the processor, its child asleep too (it
// inherited the lock) or ended and never reaped.
std::optional<THelperAnswer> Ask(pid_t helper, int socket,
                                 std::span<const TForkedHelpers::TTask> tasks,
                                 std::int32_t attempt) {
  std::vector<int> descriptors;
  const THelperRequest request = RequestOf(tasks, attempt, descriptors);
  if (!SendRequest(socket, descriptors, request)) {
    return std::nullopt;
  }
  const auto deadline = std::chrono::steady_clock::now() + AttemptLength(attempt) + kHelperGrace;
  auto last = FamilyActivity(helper);
  for (int still = 0; still < kStuckLooks && std::chrono::steady_clock::now() < deadline;) {
    pollfd ready{socket, POLLIN, 0};
    const int polled = ::poll(&ready, 1, kLookMilliseconds);
    if (polled < 0 && errno == EINTR) {
      continue;
    }
    if (polled != 0) {
      THelperAnswer answer;
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

std::int32_t TForkedHelpers::AskHelper(std::span<const TTask> tasks, std::int32_t attempt,
                                       std::vector<int>& codes) {
  const THelper helper = Take();
  if (helper.Pid < 0) {
    return kHelperCannotFork;
  }
  const auto answer = Ask(helper.Pid, helper.Socket, tasks, attempt);
  if (!answer || answer->Status == kHelperFoundStuck) {
    // Its child inherited the lock it was stuck on from the helper, whose every later child
    // would inherit it too: the next attempt goes to a new helper.
    EndHelper(helper.Pid, helper.Socket, true);
    return kHelperFoundStuck;
  }
  Give(helper);
  codes.assign(answer->Codes, answer->Codes + tasks.size());
  return answer->Status;
}

int TForkedHelpers::Run(int descriptor, std::int64_t argument) {
  const TTask task{descriptor, argument};
  for (std::int32_t attempt = 0; attempt < kMostForks; ++attempt) {
    std::vector<int> codes;
    const std::int32_t status = AskHelper({&task, 1}, attempt, codes);
    if (status == kHelperFoundStuck) {
      continue;
    }
    if (status == kHelperCannotFork) {
      return RunForked(descriptor, argument);
    }
    return status == kHelperDone ? codes[0] : crashed_;
  }
  return crashed_;
}

std::optional<std::vector<int>> TForkedHelpers::RunTogether(std::span<const TTask> tasks) {
  std::vector<int> codes;
  if (AskHelper(tasks, 0, codes) != kHelperDone) {
    return std::nullopt;
  }
  return codes;
}

std::vector<int> TForkedHelpers::RunEach(std::span<const TTask> tasks) {
  std::vector<int> codes;
  for (std::size_t first = 0; first < tasks.size(); first += kMostTasks) {
    const auto some = tasks.subspan(first, std::min(kMostTasks, tasks.size() - first));
    const auto together = some.size() > 1 ? RunTogether(some) : std::nullopt;
    if (together) {
      codes.insert(codes.end(), together->begin(), together->end());
      continue;
    }
    for (const auto& task : some) {
      codes.push_back(Run(task.Descriptor, task.Argument));
    }
  }
  return codes;
}

}  // namespace tomelet
