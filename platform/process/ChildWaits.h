// How a parent waits for the children it forks, shared by the ways work is run in one.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>

namespace tomelet {

// Work is forked at most this many times, each attempt allowed twice as long as the one before.
inline constexpr int kMostForks = 5;
inline constexpr std::chrono::seconds kFirstAttemptLength{5};

// A child seen asleep without using the processor at this many looks in a row, this far apart,
// waits for a lock held at the fork by a thread that does not exist in it.
inline constexpr int kLookMilliseconds = 100;
inline constexpr int kStuckLooks = 5;

// Its state letter and the processor time it has used, from /proc; none once it is gone.
std::optional<std::pair<char, std::string>> ChildActivity(pid_t child);
// As ChildActivity, for the process and its children together: asleep when the process is and
// each child is asleep too or has ended unreaped.
std::optional<std::pair<char, std::string>> FamilyActivity(pid_t process);

// Waits for the child: the code it left with, or -1 when it was ended by a signal.
int Reap(pid_t child);

// The child's code as Reap gives it; none when it was found stuck (asleep without using the
// processor, waiting for a lock held at the fork) or still running after attemptLength, and has
// been ended.
std::optional<int> ReapUnlessStuck(pid_t child, std::chrono::seconds attemptLength);

}  // namespace tomelet
