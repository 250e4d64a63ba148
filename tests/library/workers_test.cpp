// The one set of threads a process shares: a queue's jobs never outlive the queue, and one call's
// jobs each run once, on the caller and on the idle threads, while other work keeps the rest.
#include "library/Workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

namespace tomelet::library {
namespace {

using namespace std::chrono_literals;

TEST(WorkersTest, AQueueThatGoesDropsItsWaitingJobsAndWaitsForTheRunningOne) {
  TWorkers workers(1);
  std::promise<void> release;
  std::atomic<bool> started = false;
  std::atomic<bool> finished = false;
  std::atomic<int> ranAfter = 0;
  auto queue = std::make_unique<TWorkQueue>(workers, 2);
  ASSERT_TRUE(queue->Submit(
      [&, gate = release.get_future().share()] {
        started = true;
        gate.wait();
        std::this_thread::sleep_for(50ms);
        finished = true;
      },
      [] { return true; }));
  while (!started) {
    std::this_thread::yield();
  }
  EXPECT_TRUE(queue->Submit([&] { ++ranAfter; }, [] { return true; }));
  EXPECT_TRUE(queue->Submit([&] { ++ranAfter; }, [] { return true; }));
  EXPECT_FALSE(queue->Submit([&] { ++ranAfter; }, [] { return true; })) << "the queue is full";

  std::thread letGo([&] { release.set_value(); });
  queue.reset();
  EXPECT_TRUE(finished) << "the running job is waited for";
  letGo.join();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(ranAfter, 0) << "waiting jobs are dropped";
}

TEST(WorkersTest, RunAllRunsEachJobOnceWhileTheThreadsAreBusyAndRethrows) {
  TWorkers workers(2);
  TWorkQueue queue(workers, 4);
  std::promise<void> release;
  const auto gate = release.get_future().share();
  std::atomic<int> busy = 0;
  for (int i = 0; i < 2; ++i) {
    queue.Submit(
        [&busy, gate] {
          ++busy;
          gate.wait();
        },
        [] { return true; });
  }
  while (busy < 2) {
    std::this_thread::yield();
  }
  std::vector<std::atomic<int>> runs(50);
  workers.RunAll(runs.size(), [&](std::size_t i) { ++runs[i]; });
  for (const auto& count : runs) {
    EXPECT_EQ(count, 1);
  }
  release.set_value();
  EXPECT_THROW(workers.RunAll(8,
                              [](std::size_t i) {
                                if (i == 5) {
                                  throw std::runtime_error("fifth");
                                }
                              }),
               std::runtime_error);
}

}  // namespace
}  // namespace tomelet::library
