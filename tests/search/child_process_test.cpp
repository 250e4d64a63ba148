#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "search/ChildProcess.h"

namespace tomelet::search {
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

}  // namespace
}  // namespace tomelet::search
