#include "search/ChildProcess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace tomelet::search {

int RunInChildProcess(const std::function<int()>& work, int crashed) {
  const pid_t child = ::fork();
  if (child < 0) {
    return work();
  }
  if (child == 0) {
    int code = crashed;
    try {
      code = work();
    } catch (...) {
    }
    ::_exit(code);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      return crashed;
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : crashed;
}

}  // namespace tomelet::search
