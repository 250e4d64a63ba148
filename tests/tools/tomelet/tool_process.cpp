#include "tool_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
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

ToolResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
  TempFolder capture;
  const auto outPath = capture / "stdout";
  const auto errPath = capture / "stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT, 0600);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    throw std::runtime_error("cannot start " + program);
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
