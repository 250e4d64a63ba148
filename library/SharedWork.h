// Work of one search spread over the processors: each document's index is queried on its own, so
// a search across many documents need not take them one after another.
#pragma once

#include <cstddef>
#include <functional>

namespace tomelet::library {

// Runs job(0) ... job(count - 1), each once, on the calling thread and on a few helper threads
// shared by every caller, and returns when all have run. The caller takes jobs too, so a search
// never waits for helpers busy with another one: on a loaded server each search simply runs on
// its own thread, as it would without them. Rethrows the first exception a job threw.
void RunShared(std::size_t count, const std::function<void(std::size_t)>& job);

}  // namespace tomelet::library
