// How a parent waits for the children it forks, shared by the ways work is run in one.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>

namespace tomelet {

// Work is forked at most this many times, each attempt allowed twice as long as the one before.
inline constexpr int kMostForks = 5;
inline constexpr std::chrono::seconds kFirstAttemptLength{5};

// Waits for the child: the code it left with, or -1 when it was ended by a signal.
int Reap(pid_t child);

// The child's code as Reap gives it; none when it was found stuck (asleep without using the
// processor, waiting for a lock held at the fork) or still running after attemptLength, and has
// been ended.
std::optional<int> ReapUnlessStuck(pid_t child, std::chrono::seconds attemptLength);

}  // namespace tomelet
