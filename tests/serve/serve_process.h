// tomelet serve run as a user runs it, in a child process, for the tests that need the real
// program: its messages, its signals, its descriptor limit and its memory.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace tomelet::serve::testing {

// tomelet serve in a child process, with its stdin, stdout and stderr on pipes.
class ServeProcess {
 public:
  explicit ServeProcess(std::vector<std::string> arguments) {
    int in[2], out[2], err[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) {
      throw std::runtime_error("pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    arguments.insert(arguments.begin(), {TOMELET_BINARY, "serve"});
    std::vector<char*> argv;
    for (auto& argument : arguments) {
      argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const int failed =
        ::posix_spawn(&pid_, TOMELET_BINARY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    input_ = in[1];
    output_ = out[0];
    errors_ = err[0];
    if (failed != 0) {
      throw std::runtime_error("posix_spawn");
    }
  }
  ~ServeProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(input_);
    ::close(output_);
    ::close(errors_);
  }

  void Type(const std::string& line) {
    const std::string text = line + "\n";
    EXPECT_EQ(::write(input_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  // The first line of stdout, waiting at most a few seconds.
  std::string FirstLine() {
    std::string line;
    char c = 0;
    pollfd wait{output_, POLLIN, 0};
    while (::poll(&wait, 1, 5000) > 0 && ::read(output_, &c, 1) == 1 && c != '\n') {
      line += c;
    }
    return line;
  }
  void Interrupt() { ::kill(pid_, SIGINT); }
  void HangUp() { ::kill(pid_, SIGHUP); }
  bool Running() {
    int status = 0;
    exited_ = exited_ || ::waitpid(pid_, &status, WNOHANG) == pid_;
    return !exited_;
  }
  // How many descriptors the process holds on files that have been removed.
  int DeletedFilesHeld() const {
    int held = 0;
    const std::string folder = "/proc/" + std::to_string(pid_) + "/fd";
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      std::error_code ec;
      held += std::filesystem::read_symlink(entry.path(), ec).native().ends_with(" (deleted)");
    }
    return held;
  }
  void Terminate() { ::kill(pid_, SIGTERM); }
  // The most memory the process has held so far (VmHWM), in KiB; 0 when it cannot be read.
  long PeakMemoryKiB() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.starts_with("VmHWM:")) {
        return std::stol(line.substr(6));
      }
    }
    return 0;
  }
  // Lowers the running server's descriptor limit, as `ulimit -n` would have before its start.
  void LimitDescriptors(rlim_t count) {
    const rlimit limit{count, count};
    EXPECT_EQ(::prlimit(pid_, RLIMIT_NOFILE, &limit, nullptr), 0);
  }
  // Exit code, or -1 when the process did not end within a few seconds or died of a signal.
  int ExitCode() {
    for (int i = 0; i < 500; ++i) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      ::usleep(10000);
    }
    return -1;
  }
  std::string Errors() {
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(errors_, buffer, sizeof buffer)) > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
  }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
  int input_ = -1;
  int output_ = -1;
  int errors_ = -1;
};

inline std::uint16_t PortOf(const std::string& banner) {
  std::smatch match;
  if (!std::regex_search(banner, match, std::regex("http://127\\.0\\.0\\.1:([0-9]+)/"))) {
    return 0;
  }
  return static_cast<std::uint16_t>(std::stoi(match[1]));
}

// A loopback connection; a small receive buffer makes a client that does not read stall the
// server's writes early.
inline int LoopbackConnection(std::uint16_t port, int receiveBuffer = 0) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (receiveBuffer > 0) {
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  return fd;
}

}  // namespace tomelet::serve::testing
