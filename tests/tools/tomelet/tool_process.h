// Runs the built tomelet binary and captures what it says, for tests that check exit codes
// and messages exactly as a user sees them.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/TestDocument.h"

namespace tomelet::testing {

struct ToolResult {
  int exitCode = -1;
  std::string out;
  std::string err;
  // The program's peak resident memory.
  long peakKilobytes = 0;
  std::string LastErrorLine() const;
};

// Standard input is /dev/null, never the terminal of whoever runs the tests, and a run that hangs
// is ended by SIGALRM after a few minutes (exit code 142) instead of holding up the suite.
ToolResult RunTool(const std::vector<std::string>& args);
// Runs any program, for checking that a packed viewer stub still starts.
ToolResult RunProgram(const std::string& program, const std::vector<std::string>& args);

// The tool running in the background, for tests that interrupt it; environment holds
// "NAME=value" settings on top of this process's own.
class RunningTool {
 public:
  explicit RunningTool(const std::vector<std::string>& args,
                       const std::vector<std::string>& environment = {});
  ~RunningTool();
  RunningTool(const RunningTool&) = delete;
  RunningTool& operator=(const RunningTool&) = delete;
  bool HasEnded();
  void Signal(int signal);
  ToolResult Wait();

 private:
  TScratchFolder capture_;
  pid_t pid_ = -1;
  bool ended_ = false;
  int status_ = 0;
  long peakKilobytes_ = 0;
};

}  // namespace tomelet::testing
