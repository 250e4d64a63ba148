// Work run in a child: only its verdict or its piped output comes back, and a bounded child can
// neither write files nor hang its parent.
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

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

#include "platform/process/ChildProcess.h"

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

}  // namespace
}  // namespace tomelet
