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

#include "serve/PasswordPrompt.h"
#include "tests/serve/serve_fixture.h"
#include "tests/serve/serve_process.h"

extern char** environ;

namespace tomelet::serve::testing {
namespace {

class CommandLineTest : public ServeTest {
 protected:
  CommandLineTest() {
    testDocument_.Stored("big.bin", NoiseBytes(kBigSize, 7))
        .Password("Secret\xE9")
        .WriteTo(document_);
  }
  static constexpr std::size_t kBigSize = std::size_t{4} << 20;
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
  EXPECT_EQ(result->body, testDocument_.Contents("index.htm"));
  serve.Interrupt();
  EXPECT_EQ(serve.ExitCode(), 0);
  EXPECT_NE(serve.Errors().find("GET /index.htm 200 "), std::string::npos);
}

TEST_F(CommandLineTest, PasswordFileLinesNameTheirDocument) {
  const auto file = document_.parent_path() / "passwords.txt";
  std::ofstream(file) << "other:nope\ndoc:Secret\xC3\xA9\n";
  ServeProcess named({document_.string(), "--port", "0", "--password-file", file.string()});
  ASSERT_NE(PortOf(named.FirstLine()), 0) << named.Errors();
  std::ofstream(file) << "Secret\xC3\xA9\nother:nope\n";
  ServeProcess unnamed({document_.string(), "--port", "0", "--password-file", file.string()});
  ASSERT_NE(PortOf(unnamed.FirstLine()), 0) << unnamed.Errors();
  std::ofstream(file) << "wrong\nother:Secret\xC3\xA9\n";
  ServeProcess wrong({document_.string(), "--port", "0", "--password-file", file.string()});
  EXPECT_EQ(wrong.ExitCode(), 1);
  EXPECT_NE(wrong.Errors().find("Wrong password"), std::string::npos);
}

// A library starts only when what it was given makes sense, and says what does not: a line of
// the password file that can never open its document, a folder of pages rather than documents.
TEST_F(CommandLineTest, ALibrarySaysWhichLineOfItsPasswordFileOrWhichFolderIsWrong) {
  const auto shelf = document_.parent_path();
  const auto file = shelf / "passwords.txt";
  std::ofstream(file) << "\xEF\xBB\xBF doc : Secret\xC3\xA9 \n";
  ServeProcess right({shelf.string(), "--port", "0", "--password-file", file.string()});
  EXPECT_NE(right.FirstLine().find("Serving a library of 1 document at"), std::string::npos)
      << right.Errors();
  std::ofstream(file) << "other:x\ndoc:secret\n";
  ServeProcess wrong({shelf.string(), "--port", "0", "--password-file", file.string()});
  EXPECT_EQ(wrong.ExitCode(), 1);
  EXPECT_NE(wrong.Errors().find("Line 2 of the password file " + file.string() +
                                ": the password given for \"doc\" is not the document's"),
            std::string::npos)
      << wrong.Errors();

  const auto pages = shelf / "pages";
  std::filesystem::create_directory(pages);
  std::ofstream(pages / "index.html") << "<title>Home</title>";
  ServeProcess folder({pages.string(), "--port", "0"});
  EXPECT_EQ(folder.ExitCode(), 1);
  EXPECT_NE(folder.Errors().find(pages.string() + " holds web pages, not documents: pack it"),
            std::string::npos)
      << folder.Errors();
}

TEST_F(CommandLineTest, APasswordDocumentStaysOnLoopbackUnlessAllowed) {
  ServeProcess refused(
      {document_.string(), "--host", "0.0.0.0", "--port", "0", "--password", "Secret\xC3\xA9"});
  EXPECT_EQ(refused.ExitCode(), 1);
  EXPECT_NE(refused.Errors().find("Refusing to serve a password document on 0.0.0.0:"),
            std::string::npos);
  ServeProcess allowed({document_.string(), "--host", "0.0.0.0", "--port", "0", "--allow-remote",
                        "--password", "Secret\xC3\xA9"});
  EXPECT_NE(allowed.FirstLine().find("http://0.0.0.0:"), std::string::npos) << allowed.Errors();

  // A library holding a password document, and one that may be given one later (its password
  // file names the documents whose clients are asked), stay on loopback as well.
  const auto shelf = document_.parent_path();
  const auto empty = shelf / "empty";
  std::filesystem::create_directory(empty);
  std::ofstream(shelf / "passwords.txt") << "doc:Secret\xC3\xA9\n";
  for (const auto& arguments : {std::vector<std::string>{shelf.string()},
                                std::vector<std::string>{empty.string(), "--password-file",
                                                         (shelf / "passwords.txt").string()}}) {
    auto remote = arguments;
    remote.insert(remote.end(), {"--host", "0.0.0.0", "--port", "0"});
    ServeProcess library(remote);
    EXPECT_EQ(library.ExitCode(), 1) << arguments.front();
    EXPECT_NE(library.Errors().find("Refusing to serve a password document on 0.0.0.0:"),
              std::string::npos)
        << library.Errors();
    remote.push_back("--allow-remote");
    ServeProcess allowedLibrary(remote);
    EXPECT_NE(allowedLibrary.FirstLine().find("http://0.0.0.0:"), std::string::npos)
        << allowedLibrary.Errors();
  }
}

// A replica restarted behind a load balancer: the reply under way is finished, idle and new
// connections are let go at once, and the process ends with 0.
TEST_F(CommandLineTest, TermFinishesTheReplyUnderWayThenExitsZero) {
  ServeProcess serve({document_.string(), "--port", "0", "--password", "Secret\xC3\xA9"});
  const std::uint16_t port = PortOf(serve.FirstLine());
  ASSERT_NE(port, 0);
  const int idle = LoopbackConnection(port);
  const int reading = LoopbackConnection(port, 4096);
  const std::string request =
      "GET /big.bin HTTP/1.1\r\nHost: x\r\nAuthorization: Basic OlNlY3JldMOp\r\n\r\n";
  ASSERT_EQ(::write(reading, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  std::string reply(65536, '\0');
  std::size_t received = 0;
  ssize_t got = ::read(reading, reply.data(), reply.size());
  ASSERT_GT(got, 0);
  received += static_cast<std::size_t>(got);
  const std::string head = reply.substr(0, static_cast<std::size_t>(got));
  serve.Terminate();
  ::usleep(300000);
  char byte = 0;
  EXPECT_EQ(::read(idle, &byte, 1), 0) << "an idle connection was kept";
  const int late = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_NE(::connect(late, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  while ((got = ::read(reading, reply.data(), reply.size())) > 0) {
    received += static_cast<std::size_t>(got);
  }
  const std::size_t headerSize = head.find("\r\n\r\n") + 4;
  EXPECT_EQ(received - headerSize, kBigSize);
  EXPECT_EQ(serve.ExitCode(), 0);
  for (const int fd : {idle, reading, late}) {
    ::close(fd);
  }
}

// A drain that runs out of time with a client still reading says so and fails, so that whatever
// restarts replicas knows clients were cut off.
TEST_F(CommandLineTest, ADrainThatCutsARepliesShortExitsWithAFailure) {
  // Larger than the socket buffers of both ends, which would otherwise take the whole reply.
  const auto huge = folder_.Path() / "huge.tlt";
  TTestDocument().Stored("huge.bin", NoiseBytes(std::size_t{24} << 20, 3)).WriteTo(huge);
  ServeProcess serve({huge.string(), "--port", "0"});
  const std::uint16_t port = PortOf(serve.FirstLine());
  ASSERT_NE(port, 0);
  const int stalled = LoopbackConnection(port, 4096);
  const std::string request = "GET /huge.bin HTTP/1.1\r\nHost: x\r\n\r\n";
  ASSERT_EQ(::write(stalled, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  char some[512];
  ASSERT_GT(::read(stalled, some, sizeof some), 0);
  serve.Terminate();
  // ExitCode waits a few seconds only; the drain takes kDrainGrace.
  ::sleep(static_cast<unsigned>(kDrainGrace.count()) - 3);
  EXPECT_EQ(serve.ExitCode(), 1);
  EXPECT_NE(serve.Errors().find("Stopped after 10 s with 1 reply unfinished"), std::string::npos)
      << serve.Errors();
  ::close(stalled);
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
