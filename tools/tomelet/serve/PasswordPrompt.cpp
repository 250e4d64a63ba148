#include "tools/tomelet/serve/PasswordPrompt.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <stdexcept>

namespace tomelet::serve {

namespace {

// Turns the terminal's echo off for its lifetime and restores the previous settings after.
class TEchoOff {
 public:
  TEchoOff() {
    if (::isatty(STDIN_FILENO) == 0 || ::tcgetattr(STDIN_FILENO, &saved_) != 0) {
      return;
    }
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  ~TEchoOff() {
    if (active_) {
      ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
      std::fputc('\n', stderr);
    }
  }
  TEchoOff(const TEchoOff&) = delete;
  TEchoOff& operator=(const TEchoOff&) = delete;

 private:
  termios saved_{};
  bool active_ = false;
};

}  // namespace

std::string PromptPassword(std::string_view prompt) {
  std::fprintf(stderr, "%.*s", static_cast<int>(prompt.size()), prompt.data());
  std::fflush(stderr);
  std::string line;
  {
    const TEchoOff echoOff;
    if (!std::getline(std::cin, line)) {
      throw std::runtime_error("No password given");
    }
  }
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return line;
}

}  // namespace tomelet::serve
