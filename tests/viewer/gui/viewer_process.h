// Drives the real tomelet-viewer under the X server of the test run: writes test documents,
// starts the program with a trace file, waits for trace lines, windows and the
// exit code with deadlines, and asks xdotool and xprop what a user would see.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "document/ProjectOptions.h"
#include "tests/support/TestDocument.h"

namespace tomelet::gui {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tomelet::testing::AllEnabledOptions;
using tomelet::testing::TScratchFolder;
using tomelet::testing::TTestDocument;

// Output of a shell command, without its final line break.
inline std::string CommandOutput(const std::string& command) {
  std::string output;
  if (FILE* pipe = ::popen(("{ " + command + "; } 2>/dev/null").c_str(), "r")) {
    std::array<char, 4096> buffer;
    while (const auto count = std::fread(buffer.data(), 1, buffer.size(), pipe))
      output.append(buffer.data(), count);
    ::pclose(pipe);
  }
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
    output.pop_back();
  return output;
}

inline std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

// The text height that the last title "h<pixels>" of a trace reported; 0 before the first.
inline int LastTextHeight(const std::string& trace) {
  const auto at = trace.rfind("title: h");
  return at == std::string::npos ? 0 : std::atoi(trace.c_str() + at + 8);
}

// Options of a document that shows every bar and allows every command.
inline TProjectOptions OpenOptions(const std::string& startPage = "index.htm") {
  return AllEnabledOptions(startPage, 640, 480);
}

class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY"))
      GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    trace_ = folder_ / "trace.txt";
    StartDesktopSession();
  }

  void TearDown() override {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (busPid_ > 0)
      ::kill(busPid_, SIGTERM);
    if (!runtime_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(runtime_, ignored);
    }
  }

  // Each test has a desktop session of its own, as a logged-in reader does: a session bus (one left
  // over from an earlier program on the same display would hand the engine an accessibility bus
  // whose socket went with that program's folders) and a short runtime folder, where the engine
  // binds the sockets of its confined web process (a socket's name has at most 107 bytes).
  void StartDesktopSession() {
    runtime_ = std::filesystem::path(CommandOutput("mktemp -d /tmp/tomelet-run-XXXXXX"));
    environment_["XDG_RUNTIME_DIR"] = runtime_.string();
    std::istringstream started(
        CommandOutput("dbus-daemon --session --fork --nosyslog --print-address=1 --print-pid=1"));
    std::string address;
    started >> address >> busPid_;
    if (!address.empty())
      environment_["DBUS_SESSION_BUS_ADDRESS"] = address;
  }

  // A document of the given pages, or of a start page titled "Sample Start" when none are given.
  static TTestDocument Manual(const std::map<std::string, std::string>& pages = {}) {
    TTestDocument manual;
    if (pages.empty())
      manual.Entry("index.htm",
                   "<html><head><title>Sample Start</title></head><body>Hi</body></html>");
    for (const auto& [path, contents] : pages)
      manual.Entry(path, contents);
    return manual;
  }
  std::string Document(const std::string& name, const TTestDocument& document) {
    return document.WriteTo(folder_ / name).string();
  }
  std::string Document(const std::string& name, const TProjectOptions& options,
                       const std::map<std::string, std::string>& pages = {}) {
    return Document(name, Manual(pages).Options(options));
  }

  // Starts the viewer; its desktop files and remembered places go into the test's folder.
  void Start(const std::vector<std::string>& arguments) {
    pid_ = ::fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      ::setenv("TOMELET_TEST_TRACE", trace_.c_str(), 1);
      ::setenv("XDG_DATA_HOME", (folder_ / "data").c_str(), 1);
      ::setenv("XDG_STATE_HOME", (folder_ / "state").c_str(), 1);
      ::setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1);
      for (const auto& [name, value] : environment_)
        ::setenv(name.c_str(), value.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(TOMELET_VIEWER_PATH)};
      for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }

  std::string Trace() const {
    std::ifstream file(trace_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  // Waits until the trace holds a line with "<kind>: <text>".
  bool WaitForTrace(const std::string& line, std::chrono::milliseconds limit = 8s) const {
    return WaitUntil([&] { return Trace().find(line) != std::string::npos; }, limit);
  }

  // How many times the trace holds line so far.
  std::size_t Count(const std::string& line) const { return Occurrences(Trace(), line); }

  // Waits until the trace holds more lines with "<kind>: <text>" than the count seen before.
  bool WaitForMore(const std::string& line, std::size_t before,
                   std::chrono::milliseconds limit = 8s) const {
    return WaitUntil([&] { return Count(line) > before; }, limit);
  }

  template <class Condition>
  static bool WaitUntil(Condition condition, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      if (condition())
        return true;
      std::this_thread::sleep_for(50ms);
    }
    return condition();
  }

  // The exit code, or nothing when the program is still running at the deadline.
  std::optional<int> WaitForExit(std::chrono::milliseconds limit = 8s) {
    std::optional<int> code;
    WaitUntil(
        [&] {
          int status = 0;
          if (::waitpid(pid_, &status, WNOHANG) != pid_)
            return false;
          pid_ = 0;
          code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
          return true;
        },
        limit);
    return code;
  }

  // The program's visible window whose name is exactly name, or "" at the deadline.
  std::string WaitForWindow(const std::string& name, std::chrono::milliseconds limit = 8s) const {
    std::string id;
    WaitUntil(
        [&] {
          id = CommandOutput("xdotool search --all --onlyvisible --pid " + std::to_string(pid_) +
                             " --name '^" + name + "$' | head -n1");
          return !id.empty();
        },
        limit);
    return id;
  }

  static std::string WindowName(const std::string& id) {
    return CommandOutput("xdotool getwindowname " + id);
  }
  static std::string Property(const std::string& id, const std::string& name) {
    return CommandOutput("xprop -id " + id + " " + name);
  }
  static std::pair<int, int> WindowSize(const std::string& id) {
    return WindowGeometry(id, "WIDTH", "HEIGHT");
  }
  static std::pair<int, int> WindowPosition(const std::string& id) {
    return WindowGeometry(id, "X", "Y");
  }
  static std::pair<int, int> WindowGeometry(const std::string& id, const std::string& first,
                                            const std::string& second) {
    const auto shell = "\n" + CommandOutput("xdotool getwindowgeometry --shell " + id);
    const auto value = [&](const std::string& key) {
      const auto at = shell.find("\n" + key + "=");
      return at == std::string::npos ? -1 : std::stoi(shell.substr(at + key.size() + 2));
    };
    return {value(first), value(second)};
  }
  // Gives the window the keyboard and types keys into it, as a user would.
  static void PressKeys(const std::string& id, const std::string& keys) {
    CommandOutput("xdotool windowfocus --sync " + id + " key --clearmodifiers " + keys);
  }
  // Clicks the middle of a tool button, found by its caption in the trace, with that mouse button.
  void ClickToolButton(const std::string& window, const std::string& caption,
                       int mouseButton = 1) const {
    const auto trace = Trace();
    const auto at = trace.rfind("button: " + caption + " ");
    ASSERT_NE(at, std::string::npos) << trace;
    std::istringstream place(trace.substr(at + 9 + caption.size()));
    int x = 0, y = 0, width = 0, height = 0;
    place >> x >> y >> width >> height;
    CommandOutput("xdotool windowfocus --sync " + window + " mousemove --window " + window + " " +
                  std::to_string(x + width / 2) + " " + std::to_string(y + height / 2) + " click " +
                  std::to_string(mouseButton));
  }
  static void Type(const std::string& id, const std::string& text) {
    CommandOutput("xdotool windowfocus --sync " + id + " type --delay 20 '" + text + "'");
  }

  TScratchFolder folder_;
  std::filesystem::path trace_;
  // Further environment of the program the next Start begins.
  std::map<std::string, std::string> environment_;
  pid_t pid_ = 0;
  pid_t busPid_ = 0;
  std::filesystem::path runtime_;
};

}  // namespace tomelet::gui
