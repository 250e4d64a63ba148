// A reader's output carried through a pipe from the child process that runs it: the sink calls
// framed on one side and replayed on the other, with the pipe's side treated as hostile too.
#pragma once

#include <cstdint>
#include <memory>

#include "import/SourceSink.h"
#include "platform/process/ChildProcess.h"

namespace tomelet::importer {

// A sink that frames every call onto the descriptor. A failed write throws std::runtime_error.
std::unique_ptr<ISourceSink> FramingSink(int output);

// Writes the message a failed reader ends with, for ReplayFrames to throw.
void SendFailure(int output, std::string_view message);

struct TReplayLimits {
  std::uint64_t LargestFile = std::uint64_t{1} << 30;
  std::uint64_t LargestMap = std::uint64_t{512} << 20;
  // All files together; beyond it the source is taken for a decompression bomb.
  std::uint64_t TotalBytes = 0;
};

// Reads frames from the child until it closes its end, calling sink for each. Throws
// std::runtime_error with the reader's own message when it sent one, with "the source expands
// to more than N bytes" past the total, and "the reader ended unexpectedly" when the frames stop
// short (a crash, a limit reached).
void ReplayFrames(TBoundedChild& child, ISourceSink& sink, const TReplayLimits& limits);

}  // namespace tomelet::importer
