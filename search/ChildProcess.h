// Work that may crash on hostile input, run in a child process so that only its verdict comes
// back: a fault there cannot take this process down.
#pragma once

#include <functional>

namespace tomelet::search {

// Runs work in a forked child and returns the code it returns (0 to 255); crashed when the
// child ends any other way (a signal, a sanitizer's report). The child leaves with _exit, so
// nothing of this process is torn down twice. When no child can be made, work runs here.
int RunInChildProcess(const std::function<int()>& work, int crashed);

}  // namespace tomelet::search
