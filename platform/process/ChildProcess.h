// Work that may crash or misbehave on hostile input, run in a child process so that only its
// verdict, or the output it sends through a pipe, comes back: a fault there cannot take this
// process down, and limits keep it from taking the machine's memory, time or disk.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace tomelet {

// Runs work in a forked child and returns the code it returns (0 to 255); crashed when the
// child ends any other way (a signal, a sanitizer's report). The child leaves with _exit, so
// nothing of this process is torn down twice. When no child can be made, work runs here. A child
// found asleep for half a second without using the processor, or still running after 5 s (10 s,
// 20 s, ... for the next attempts), may wait for a lock another thread held at the fork, which no
// one will release there: it is ended and work forked again (at most five times, then crashed),
// so work must be safe to run more than once.
int RunInChildProcess(const std::function<int()>& work, int crashed);

// Work on a file, run as RunInChildProcess runs it but forked from a helper process rather than
// from this one: forking a large, busy process (and its copy-on-write faults after) costs far
// more than a small check. A helper is a fork of this process made the first time one is needed
// and kept (one for each caller at once); it holds no descriptor of this process but its own
// socket, and runs each request in a child of its own, so a crash or a hang there costs only that
// request's verdict. A helper that stops answering is ended and another made. Thread-safe.
class TForkedHelpers {
 public:
  // work gets a descriptor of its own sharing the file description of the one given (its file
  // position too); it may close it.
  using TWork = std::function<int(int descriptor, std::int64_t argument)>;
  TForkedHelpers(TWork work, int crashed);
  // Ends the helpers and waits for them.
  ~TForkedHelpers();
  TForkedHelpers(const TForkedHelpers&) = delete;
  TForkedHelpers& operator=(const TForkedHelpers&) = delete;

  // The code work(descriptor, argument) returns (0 to 255), or crashed, as RunInChildProcess;
  // when no helper can be made, RunInChildProcess runs it.
  int Run(int descriptor, std::int64_t argument);

  struct TTask {
    int Descriptor = -1;
    std::int64_t Argument = 0;
  };
  // The code of work on each task, as Run gives it, from one child that does the tasks one after
  // another, kMostTasks at most: a fork, and a child's first calls, for them all rather than for
  // each. When that child crashes, hangs or stalls, each task is run again alone, so a task that
  // crashes the work still costs only its own verdict.
  std::vector<int> RunEach(std::span<const TTask> tasks);
  static constexpr std::size_t kMostTasks = 32;
  // Makes a helper now, unless one is idle. A helper made while this process is small and has one
  // thread inherits no lock, and keeps no copy of the pages this process writes as it grows.
  void Prepare();

 private:
  struct THelper {
    pid_t Pid = -1;
    int Socket = -1;
  };
  THelper Take();
  void Give(THelper helper);
  int RunForked(int descriptor, std::int64_t argument) const;
  // How one helper did the tasks (the helper's status codes), their codes in codes when done. A
  // helper that died, stopped answering or was found stuck is ended.
  std::int32_t AskHelper(std::span<const TTask> tasks, std::int32_t attempt,
                         std::vector<int>& codes);
  // The codes of one child's work on every task; none when it failed.
  std::optional<std::vector<int>> RunTogether(std::span<const TTask> tasks);

  TWork work_;
  int crashed_;
  std::mutex lock_;
  std::vector<THelper> idle_;
};

class EChildProcessError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TChildLimits {
  std::uint64_t MemoryBytes = std::uint64_t{2} << 30;  // address space, not enforced under ASan
  unsigned CpuSeconds = 600;
  // The child is ended when it sends nothing for this long.
  unsigned SilenceSeconds = 120;
};

// A child whose only output is a pipe: it runs work(outputDescriptor) under the limits, cannot
// write a byte to any file (its file size limit is 0; pipes are not files), and leaves with the
// code work returns (1 when work throws).
class TBoundedChild {
 public:
  // Throws EChildProcessError when no pipe or child can be made.
  TBoundedChild(const std::function<int(int output)>& work, const TChildLimits& limits);
  // Ends the child if it still runs, and waits for it.
  ~TBoundedChild();
  TBoundedChild(const TBoundedChild&) = delete;
  TBoundedChild& operator=(const TBoundedChild&) = delete;

  // Up to buffer.size() bytes of its output; 0 once it has closed its end. Throws
  // EChildProcessError "stopped answering" when it stays silent past the limit (it is ended).
  std::size_t Read(std::span<std::byte> buffer);
  // Waits for the child: the code it left with, or -1 when it was ended by a signal (a crash,
  // a limit reached).
  int Finish();

 private:
  pid_t child_ = -1;
  int output_ = -1;
  unsigned silence_ = 0;
};

}  // namespace tomelet
