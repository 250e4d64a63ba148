// The serve command as a user runs it: password checks, the printed address, Ctrl+C.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>

#include "tests/tools/tomelet/serve/serve_fixture.h"
#include "tools/tomelet/serve/PasswordPrompt.h"

extern char** environ;

namespace tomelet::serve::testing {
namespace {

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

std::uint16_t PortOf(const std::string& banner) {
  std::smatch match;
  if (!std::regex_search(banner, match, std::regex("http://127\\.0\\.0\\.1:([0-9]+)/"))) {
    return 0;
  }
  return static_cast<std::uint16_t>(std::stoi(match[1]));
}

class CommandLineTest : public ServeTest {
 protected:
  CommandLineTest() {
    SetOptions("index.htm", "Secret\xE9");
    writer_.AddEntry("-config-", options_.Bytes());
    writer_.WriteFile(document_.string());
  }
};

TEST_F(CommandLineTest, WrongPasswordEndsWithAMessage) {
  ServeProcess serve({document_.string(), "--port", "0", "--password", "secret\xC3\xA9"});
  EXPECT_EQ(serve.ExitCode(), 1);
  EXPECT_NE(serve.Errors().find("Wrong password"), std::string::npos);
}

TEST_F(CommandLineTest, APasswordFileOpensWithItsFirstLine) {
  const auto file = document_.parent_path() / "password.txt";
  std::ofstream(file) << "Secret\xC3\xA9\r\nnot this line\n";
  ServeProcess serve({document_.string(), "--port", "0", "--password-file", file.string()});
  ASSERT_NE(PortOf(serve.FirstLine()), 0) << serve.Errors();
  ServeProcess missing({document_.string(), "--port", "0", "--password-file",
                        (document_.parent_path() / "none.txt").string()});
  EXPECT_EQ(missing.ExitCode(), 1);
  EXPECT_NE(missing.Errors().find("Cannot read the password file"), std::string::npos);
}

TEST_F(CommandLineTest, TypedPasswordOpensAndCtrlCStopsCleanly) {
  ServeProcess serve({document_.string(), "--port", "0", "--verbose"});
  serve.Type("Secret\xC3\xA9");  // typed as UTF-8, stored as Windows-1252
  const std::uint16_t port = PortOf(serve.FirstLine());
  ASSERT_NE(port, 0);
  httplib::Client client("127.0.0.1", port);
  const auto result = client.Get("/index.htm");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->body, Contents("index.htm"));
  serve.Interrupt();
  EXPECT_EQ(serve.ExitCode(), 0);
  EXPECT_NE(serve.Errors().find("GET /index.htm 200 "), std::string::npos);
}

TEST_F(CommandLineTest, MissingDocumentFailsWithTheReaderMessage) {
  ServeProcess serve({(folder_.Path() / "absent.tlt").string()});
  EXPECT_EQ(serve.ExitCode(), 1);
  EXPECT_NE(serve.Errors().find("Archive file not found"), std::string::npos);
}

TEST_F(CommandLineTest, OpenHandsTheAddressToXdgOpen) {
  // A stand-in xdg-open first on the PATH records what it is asked to open.
  const auto bin = folder_.Path() / "bin";
  std::filesystem::create_directories(bin);
  const auto opened = folder_.Path() / "opened.txt";
  {
    std::ofstream script(bin / "xdg-open");
    script << "#!/bin/sh\necho \"$1\" > '" << opened.string() << "'\n";
  }
  std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
  const std::string savedPath = std::getenv("PATH");
  ::setenv("PATH", (bin.string() + ":" + savedPath).c_str(), 1);
  ServeProcess serve({document_.string(), "--port", "0", "--open", "--password", "Secret\xC3\xA9"});
  ::setenv("PATH", savedPath.c_str(), 1);
  const std::uint16_t port = PortOf(serve.FirstLine());
  ASSERT_NE(port, 0);
  std::string line;
  for (int i = 0; i < 200 && line.empty(); ++i) {
    ::usleep(20000);
    std::ifstream(opened) >> line;
  }
  EXPECT_EQ(line, "http://127.0.0.1:" + std::to_string(port) + "/");
  serve.Interrupt();
  EXPECT_EQ(serve.ExitCode(), 0);
}

// A loopback connection that never sends a request.
int IdleConnection(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  return fd;
}

TEST_F(CommandLineTest, IdleConnectionsBeyondTheDescriptorLimitDoNotLockOutRequests) {
  ServeProcess serve({document_.string(), "--port", "0", "--password", "Secret\xC3\xA9"});
  const std::uint16_t port = PortOf(serve.FirstLine());
  ASSERT_NE(port, 0);
  serve.LimitDescriptors(48);
  std::vector<int> idle;
  for (int i = 0; i < 120; ++i) {
    idle.push_back(IdleConnection(port));
  }
  httplib::Client client("127.0.0.1", port);
  client.set_connection_timeout(5);
  client.set_read_timeout(5);
  const auto result = client.Get("/index.htm");
  ASSERT_TRUE(result) << "the request waited behind idle connections";
  EXPECT_EQ(result->status, 200);
  for (const int fd : idle) {
    ::close(fd);
  }
  serve.Interrupt();
  EXPECT_EQ(serve.ExitCode(), 0);
}

}  // namespace
}  // namespace tomelet::serve::testing
