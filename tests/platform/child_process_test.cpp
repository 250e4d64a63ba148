// Work run in a child: only its verdict or its piped output comes back, and a bounded child can
// neither write files nor hang its parent.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/process/ChildProcess.h"
#include "platform/process/ChildWaits.h"

namespace tomelet {
namespace {

constexpr int kCrashed = 99;

TEST(ChildProcess, OnlyTheVerdictComesBackWhateverTheWorkDoes) {
  const pid_t parent = ::getpid();
  EXPECT_EQ(RunInChildProcess([parent] { return ::getpid() == parent ? 1 : 7; }, kCrashed), 7);
  EXPECT_EQ(RunInChildProcess([] { return 0; }, kCrashed), 0);
  EXPECT_EQ(RunInChildProcess([]() -> int { std::abort(); }, kCrashed), kCrashed);
  EXPECT_EQ(RunInChildProcess([]() -> int { throw std::runtime_error("thrown"); }, kCrashed),
            kCrashed);
  int touched = 0;
  RunInChildProcess(
      [&touched] {
        touched = 1;
        return 0;
      },
      kCrashed);
  EXPECT_EQ(touched, 0) << "the work ran in this process";
}

// A lock held by another thread when the child is forked stays held in the child, where that
// thread does not exist; a verdict still comes back, from a child forked once the lock is free.
TEST(ChildProcess, AChildStuckOnALockHeldAtTheForkIsForkedAgain) {
  std::mutex lock;
  std::promise<void> held;
  std::thread holder([&] {
    const std::lock_guard guard(lock);
    held.set_value();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  });
  held.get_future().wait();
  auto verdict = std::make_shared<std::promise<int>>();
  auto answered = verdict->get_future();
  std::thread([verdict, &lock] {
    verdict->set_value(RunInChildProcess(
        [&lock] {
          const std::lock_guard guard(lock);
          return 7;
        },
        kCrashed));
  }).detach();
  holder.join();
  ASSERT_EQ(answered.wait_for(std::chrono::seconds(30)), std::future_status::ready)
      << "the parent waits for a child that never ends";
  EXPECT_EQ(answered.get(), 7);
}

// A spin lock held at the fork keeps the child busy yielding the processor rather than asleep.
TEST(ChildProcess, AChildSpinningOnALockHeldAtTheForkIsForkedAgain) {
  std::atomic_flag spin;
  spin.test_and_set();
  auto verdict = std::make_shared<std::promise<int>>();
  auto answered = verdict->get_future();
  std::thread([verdict, &spin] {
    verdict->set_value(RunInChildProcess(
        [&spin] {
          while (spin.test_and_set()) {
            ::sched_yield();
          }
          return 7;
        },
        kCrashed));
  }).detach();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  spin.clear();
  ASSERT_EQ(answered.wait_for(std::chrono::seconds(30)), std::future_status::ready)
      << "the parent waits for a child that never ends";
  EXPECT_EQ(answered.get(), 7);
}

// A helper stuck on a lock held at its fork has forked its child already, which inherited the
// lock and sleeps too, or did its work and waits to be reaped: either way the two look asleep,
// while a child at work does not.
TEST(ChildProcess, AProcessAndItsChildLookAsleepOnlyWhenNeitherWorks) {
  enum class TChild { Sleeps, Ended, Works };
  for (const auto child : {TChild::Sleeps, TChild::Ended, TChild::Works}) {
    int forked[2];
    ASSERT_EQ(::pipe(forked), 0);
    const pid_t parent = ::fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
      ::setpgid(0, 0);
      if (::fork() == 0) {
        while (child == TChild::Works) {
          ::sched_yield();
        }
        if (child == TChild::Sleeps) {
          ::pause();
        }
        ::_exit(0);
      }
      if (::write(forked[1], "f", 1) == 1) {
        ::pause();
      }
      ::_exit(1);
    }
    char byte = 0;
    ASSERT_EQ(::read(forked[0], &byte, 1), 1);
    ::close(forked[0]);
    ::close(forked[1]);
    const char expected = child == TChild::Works ? 'R' : 'S';
    auto family = FamilyActivity(parent);
    for (int look = 0; look < 50 && family && family->first != expected; ++look) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      family = FamilyActivity(parent);
    }
    ::kill(-parent, SIGKILL);
    ::waitpid(parent, nullptr, 0);
    ASSERT_TRUE(family);
    EXPECT_EQ(family->first, expected) << "child " << static_cast<int>(child);
  }
}

std::string ReadAll(TBoundedChild& child) {
  std::string out;
  std::byte buffer[4096];
  while (const std::size_t count = child.Read(buffer))
    out.append(reinterpret_cast<const char*>(buffer), count);
  return out;
}

TEST(BoundedChild, OutputComesThroughThePipeButNoFileIsWritten) {
  const auto file =
      std::filesystem::temp_directory_path() / ("bounded-child-" + std::to_string(::getpid()));
  TBoundedChild child(
      [&file](int output) {
        std::FILE* stray = std::fopen(file.c_str(), "wb");
        const bool wrote =
            stray != nullptr && std::fputs("stray", stray) >= 0 && std::fflush(stray) == 0;
        const std::string said = wrote ? "wrote" : "refused";
        return ::write(output, said.data(), said.size()) < 0 ? 4 : 3;
      },
      {});
  EXPECT_EQ(ReadAll(child), "refused");
  EXPECT_EQ(child.Finish(), 3);
  EXPECT_EQ(std::filesystem::file_size(file), 0u);
  std::filesystem::remove(file);
}

TEST(BoundedChild, ACrashOrASilentChildEndsWithoutHangingTheParent) {
  TBoundedChild crash([](int) -> int { std::abort(); }, {});
  EXPECT_EQ(ReadAll(crash), "");
  EXPECT_EQ(crash.Finish(), -1);
  TBoundedChild thrown([](int) -> int { throw std::runtime_error("x"); }, {});
  ReadAll(thrown);
  EXPECT_EQ(thrown.Finish(), 1);
  TBoundedChild silent(
      [](int) {
        ::pause();
        return 0;
      },
      {.SilenceSeconds = 1});
  EXPECT_THROW(ReadAll(silent), EChildProcessError);
  EXPECT_EQ(silent.Finish(), -1);
}

// The work reads the file it is given at the place the argument names, in a process of its own.
int ReadByteAt(int descriptor, std::int64_t place) {
  char byte = 0;
  const bool read = ::pread(descriptor, &byte, 1, place) == 1;
  ::close(descriptor);
  if (!read) {
    return 1;
  }
  if (byte == 'c') {
    std::abort();
  }
  if (byte == 'h') {
    ::pause();
  }
  if (byte == 'i') {
    return static_cast<int>(::getpid() % 200) + 10;
  }
  return byte == 'p' ? static_cast<int>(::getppid() % 200) + 10 : byte - '0';
}

class ForkedHelpersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = std::filesystem::temp_directory_path() / ("helpers-" + std::to_string(::getpid()));
    std::FILE* out = std::fopen(file_.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fputs("0123456789chpi", out);
    std::fclose(out);
    fd_ = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC);
  }
  void TearDown() override {
    ::close(fd_);
    std::filesystem::remove(file_);
  }
  std::filesystem::path file_;
  int fd_ = -1;
};

TEST_F(ForkedHelpersTest, AnswersRequestsAtOnceAndSurvivesTheirCrashesAndHangs) {
  TForkedHelpers helpers(ReadByteAt, kCrashed);
  std::vector<std::thread> callers;
  std::atomic<int> wrong = 0;
  for (int caller = 0; caller < 4; ++caller) {
    callers.emplace_back([&, caller] {
      for (int place = 0; place < 10; ++place) {
        wrong += helpers.Run(fd_, (place + caller) % 10) != (place + caller) % 10;
      }
    });
  }
  for (auto& caller : callers) {
    caller.join();
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(helpers.Run(fd_, 10), kCrashed);
  EXPECT_EQ(helpers.Run(fd_, 11), kCrashed) << "a work that hangs is ended";
  EXPECT_EQ(helpers.Run(fd_, 7), 7) << "a crash costs only its own request";
  const int helperCode = helpers.Run(fd_, 12);
  EXPECT_NE(helperCode, static_cast<int>(::getpid() % 200) + 10)
      << "the work ran in a child of this process, not of a helper";
}

std::vector<TForkedHelpers::TTask> TasksAt(int descriptor, const std::vector<int>& places) {
  std::vector<TForkedHelpers::TTask> tasks;
  for (const int place : places) {
    tasks.push_back({descriptor, place});
  }
  return tasks;
}

TEST_F(ForkedHelpersTest, TasksRunTogetherInOneChildEachWithItsOwnCode) {
  TForkedHelpers helpers(ReadByteAt, kCrashed);
  std::vector<int> places;
  for (std::size_t task = 0; task < TForkedHelpers::kMostTasks + 8; ++task) {
    places.push_back(static_cast<int>(task % 10));
  }
  EXPECT_EQ(helpers.RunEach(TasksAt(fd_, places)), places);
  const auto children = helpers.RunEach(TasksAt(fd_, {13, 13, 13}));
  EXPECT_EQ(children, std::vector<int>(3, children.front())) << "each task forked a child";
}

// A child that crashes or hangs in the midst of its tasks leaves them without codes: each is run
// again alone, so the others still get theirs, and the one at fault only its own crash.
TEST_F(ForkedHelpersTest, AChildThatDiesOrHangsMidwayCostsOnlyItsOwnTasksCode) {
  TForkedHelpers helpers(ReadByteAt, kCrashed);
  EXPECT_EQ(helpers.RunEach(TasksAt(fd_, {0, 1, 10, 3, 4})),
            (std::vector<int>{0, 1, kCrashed, 3, 4}));
  EXPECT_EQ(helpers.RunEach(TasksAt(fd_, {5, 11, 6})), (std::vector<int>{5, kCrashed, 6}));
  EXPECT_EQ(helpers.RunEach(TasksAt(fd_, {7, 8})), (std::vector<int>{7, 8}))
      << "the helpers still answer";
}

// A helper forked while this process holds a connection or a pipe must not keep it open: the
// other end would never learn that this process closed it.
TEST_F(ForkedHelpersTest, AHelperHoldsNoneOfThisProcesssDescriptors) {
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
  TForkedHelpers helpers(ReadByteAt, kCrashed);
  EXPECT_EQ(helpers.Run(fd_, 3), 3);
  ::close(ends[1]);
  pollfd closed{ends[0], POLLIN, 0};
  ASSERT_EQ(::poll(&closed, 1, 2000), 1) << "a helper holds the pipe's other end";
  char byte = 0;
  EXPECT_EQ(::read(ends[0], &byte, 1), 0);
  ::close(ends[0]);
}

// The resident MiB of the process that runs it (at most 255, to fit a verdict).
int ResidentMiB(int, std::int64_t) {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  long kib = 0;
  char line[256];
  while (status && std::fgets(line, sizeof line, status)) {
    std::sscanf(line, "VmRSS: %ld kB", &kib);
  }
  if (status) {
    std::fclose(status);
  }
  return static_cast<int>(std::min(kib / 1024, 255L));
}

// The viewer makes its helper before it grows; one made after this process has grown carries
// the grown pages into every child it forks.
TEST_F(ForkedHelpersTest, AHelperMadeEarlyCarriesNothingOfWhatThisProcessGrowsTo) {
  TForkedHelpers early(ResidentMiB, kCrashed);
  early.Prepare();
  constexpr std::size_t kGrowth = 96 << 20;
  const auto grown = std::make_unique<char[]>(kGrowth);
  for (std::size_t at = 0; at < kGrowth; at += 4096) {
    grown[at] = 1;
  }
  TForkedHelpers late(ResidentMiB, kCrashed);
  EXPECT_LT(early.Run(fd_, 0) + 64, late.Run(fd_, 0));
}

}  // namespace
}  // namespace tomelet
