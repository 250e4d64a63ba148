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
#include "tests/tools/tomelet/serve/serve_process.h"
#include "tools/tomelet/serve/PasswordPrompt.h"

extern char** environ;

namespace tomelet::serve::testing {
namespace {

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
  const auto refused = client.Get("/index.htm");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 401);
  client.set_basic_auth("reader", "Secret\xC3\xA9");
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

TEST_F(CommandLineTest, AddressesThatCannotBeUsedAreNamed) {
  ServeProcess wrongHost(
      {document_.string(), "--host", "999.1.1.1", "--password", "Secret\xC3\xA9"});
  EXPECT_EQ(wrongHost.ExitCode(), 1);
  EXPECT_NE(wrongHost.Errors().find("Cannot listen on 999.1.1.1: not an IPv4 or IPv6 address"),
            std::string::npos);

  ServeProcess first({document_.string(), "--port", "0", "--password", "Secret\xC3\xA9"});
  const std::string port = std::to_string(PortOf(first.FirstLine()));
  ServeProcess second({document_.string(), "--port", port, "--password", "Secret\xC3\xA9"});
  EXPECT_EQ(second.ExitCode(), 1);
  EXPECT_NE(second.Errors().find("Cannot listen on 127.0.0.1:" + port + ": Address already in use"),
            std::string::npos);
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

TEST_F(CommandLineTest, IdleConnectionsBeyondTheDescriptorLimitDoNotLockOutRequests) {
  ServeProcess serve({document_.string(), "--port", "0", "--password", "Secret\xC3\xA9"});
  const std::uint16_t port = PortOf(serve.FirstLine());
  ASSERT_NE(port, 0);
  serve.LimitDescriptors(48);
  std::vector<int> idle;
  for (int i = 0; i < 120; ++i) {
    idle.push_back(LoopbackConnection(port));
  }
  httplib::Client client("127.0.0.1", port);
  client.set_basic_auth("", "Secret\xC3\xA9");
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
