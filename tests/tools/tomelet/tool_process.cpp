#include "tool_process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace tomelet::testing {

std::string ToolResult::LastErrorLine() const {
  auto text = err;
  while (!text.empty() && text.back() == '\n') {
    text.pop_back();
  }
  const auto newline = text.rfind('\n');
  return newline == std::string::npos ? text : text.substr(newline + 1);
}

namespace {

constexpr unsigned kWatchdogSeconds = 300;

// The kernel starts a new program's peak memory at the peak of the process it replaces, which
// here would be this test process's own; the child resets that peak before it runs the program.
[[noreturn]] void RunInChild(const std::string& program, std::vector<char*>& argv,
                             std::vector<char*>& environment, const std::filesystem::path& outPath,
                             const std::filesystem::path& errPath) {
  if (const int peak = ::open("/proc/self/clear_refs", O_WRONLY); peak >= 0) {
    [[maybe_unused]] const auto written = ::write(peak, "5", 1);
    ::close(peak);
  }
  const int in = ::open("/dev/null", O_RDONLY);
  const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT, 0600);
  const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT, 0600);
  if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
      ::dup2(err, 2) < 0) {
    ::_exit(127);
  }
  ::alarm(kWatchdogSeconds);
  ::execve(program.c_str(), argv.data(), environment.data());
  ::_exit(127);
}

std::string NameOf(const std::string& setting) {
  return setting.substr(0, setting.find('='));
}

// This process's environment with the settings put over it.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& settings) {
  std::vector<std::string> result(settings);
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string inherited = *entry;
    const bool overridden = std::any_of(settings.begin(), settings.end(), [&](const auto& set) {
      return NameOf(set) == NameOf(inherited);
    });
    if (!overridden) {
      result.push_back(inherited);
    }
  }
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) {
    pointers.push_back(text.data());
  }
  pointers.push_back(nullptr);
  return pointers;
}

pid_t Start(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& settings, const std::filesystem::path& capture) {
  std::vector<std::string> texts{program};
  texts.insert(texts.end(), args.begin(), args.end());
  auto argv = Pointers(texts);
  auto environmentTexts = EnvironmentWith(settings);
  auto environment = Pointers(environmentTexts);
  const pid_t pid = ::fork();
  if (pid < 0) {
    throw std::runtime_error("cannot start " + program);
  }
  if (pid == 0) {
    RunInChild(program, argv, environment, capture / "stdout", capture / "stderr");
  }
  return pid;
}

ToolResult Finish(int status, long peakKilobytes, const std::filesystem::path& capture) {
  ToolResult result;
  result.peakKilobytes = peakKilobytes;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadFile(capture / "stdout");
  result.err = ReadFile(capture / "stderr");
  return result;
}

}  // namespace

ToolResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
  TScratchFolder capture;
  const pid_t pid = Start(program, args, {}, capture.Path());
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return Finish(status, usage.ru_maxrss, capture.Path());
}

ToolResult RunTool(const std::vector<std::string>& args) {
  return RunProgram(TOMELET_BINARY, args);
}

RunningTool::RunningTool(const std::vector<std::string>& args,
                         const std::vector<std::string>& environment)
    : pid_(Start(TOMELET_BINARY, args, environment, capture_.Path())) {}

RunningTool::~RunningTool() {
  if (!ended_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

bool RunningTool::HasEnded() {
  if (!ended_) {
    rusage usage{};
    ended_ = wait4(pid_, &status_, WNOHANG, &usage) == pid_;
    peakKilobytes_ = usage.ru_maxrss;
  }
  return ended_;
}

void RunningTool::Signal(int signal) {
  if (!HasEnded()) {
    ::kill(pid_, signal);
  }
}

ToolResult RunningTool::Wait() {
  if (!ended_) {
    rusage usage{};
    wait4(pid_, &status_, 0, &usage);
    peakKilobytes_ = usage.ru_maxrss;
    ended_ = true;
  }
  return Finish(status_, peakKilobytes_, capture_.Path());
}

}  // namespace tomelet::testing
