#include "tool_process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
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

// The kernel starts a new program's peak memory at the peak of the process it replaces, which
// here would be this test process's own; the child resets that peak before it runs the program.
[[noreturn]] void RunInChild(const std::string& program, std::vector<char*>& argv,
                             const std::filesystem::path& outPath,
                             const std::filesystem::path& errPath) {
  if (const int peak = ::open("/proc/self/clear_refs", O_WRONLY); peak >= 0) {
    [[maybe_unused]] const auto written = ::write(peak, "5", 1);
    ::close(peak);
  }
  const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT, 0600);
  const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT, 0600);
  if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) {
    ::_exit(127);
  }
  ::execve(program.c_str(), argv.data(), environ);
  ::_exit(127);
}

}  // namespace

ToolResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
  TempFolder capture;
  const auto outPath = capture / "stdout";
  const auto errPath = capture / "stderr";
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) {
    throw std::runtime_error("cannot start " + program);
  }
  if (pid == 0) {
    RunInChild(program, argv, outPath, errPath);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  ToolResult result;
  result.peakKilobytes = usage.ru_maxrss;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  return result;
}

ToolResult RunTool(const std::vector<std::string>& args) {
  return RunProgram(TOMELET_BINARY, args);
}

TempFolder::TempFolder() {
  auto pattern = (std::filesystem::temp_directory_path() / "tomelet-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a temporary folder");
  }
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::filesystem::path& path, std::string_view contents) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

}  // namespace tomelet::testing
