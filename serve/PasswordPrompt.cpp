#include "serve/PasswordPrompt.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/text/Blanks.h"

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

enum class TLineEnd { Break, EndOfInput, TooLong, Error };

// Reads byte by byte up to the first line break, so nothing past the line is taken from a pipe
// and an endless line costs no more than kMaxPasswordLine bytes.
TLineEnd ReadLine(int fd, std::string& line) {
  for (;;) {
    char c = 0;
    const ssize_t got = ::read(fd, &c, 1);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      return TLineEnd::Error;
    }
    if (got == 0) {
      return TLineEnd::EndOfInput;
    }
    if (c == '\n') {
      break;
    }
    if (line.size() == kMaxPasswordLine) {
      return TLineEnd::TooLong;
    }
    line.push_back(c);
  }
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return TLineEnd::Break;
}

std::string TooLong(std::string_view where, std::size_t lineNumber = 1) {
  const std::string line =
      lineNumber == 1 ? "The first line" : "Line " + std::to_string(lineNumber);
  return line + " of " + std::string(where) + " is longer than " +
         std::to_string(kMaxPasswordLine) + " bytes; a password is one short line";
}

std::runtime_error FileError(const std::string& path, std::string_view reason) {
  return std::runtime_error("Cannot read the password file " + path + ": " + std::string(reason));
}

std::vector<std::string> RawLines(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    throw FileError(path, std::strerror(errno));
  }
  std::vector<std::string> lines;
  TLineEnd end = TLineEnd::Break;
  while (end == TLineEnd::Break && lines.size() <= kMaxPasswordLines) {
    std::string line;
    end = ReadLine(fd, line);
    if (end == TLineEnd::Break || (end == TLineEnd::EndOfInput && !line.empty())) {
      lines.push_back(std::move(line));
    }
  }
  const int error = errno;
  ::close(fd);
  if (end == TLineEnd::TooLong) {
    throw std::runtime_error(TooLong("the password file " + path, lines.size() + 1));
  }
  if (end == TLineEnd::Error) {
    throw FileError(path, std::strerror(error));
  }
  if (lines.size() > kMaxPasswordLines) {
    throw FileError(path, "it has more than " + std::to_string(kMaxPasswordLines) + " lines");
  }
  return lines;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

TPasswordLine ReadPasswordLine(std::size_t number, std::string_view line) {
  if (number == 1 && line.starts_with(kByteOrderMark)) {
    line.remove_prefix(kByteOrderMark.size());
  }
  TPasswordLine read;
  read.Number = number;
  read.Whole = TrimmedBlanks(line);
  if (const auto colon = line.find(':'); colon != std::string_view::npos) {
    read.Name = TrimmedBlanks(line.substr(0, colon));
    read.Password = TrimmedBlanks(line.substr(colon + 1));
  }
  return read;
}

}  // namespace

std::vector<TPasswordLine> PasswordFileLines(const std::string& path) {
  std::vector<TPasswordLine> lines;
  const auto raw = RawLines(path);
  for (std::size_t i = 0; i < raw.size(); ++i) {
    auto line = ReadPasswordLine(i + 1, raw[i]);
    if (!line.Whole.empty()) {
      lines.push_back(std::move(line));
    }
  }
  if (lines.empty()) {
    throw FileError(path, "it is empty");
  }
  return lines;
}

std::string PromptPassword(std::string_view prompt) {
  const bool terminal = ::isatty(STDIN_FILENO) == 1;
  std::fprintf(stderr, "%.*s%s", static_cast<int>(prompt.size()), prompt.data(),
               terminal ? "" : "\n");
  std::fflush(stderr);
  std::string line;
  TLineEnd end = TLineEnd::Break;
  {
    const TEchoOff echoOff;
    end = ReadLine(STDIN_FILENO, line);
  }
  if (end == TLineEnd::TooLong) {
    throw std::runtime_error(TooLong("standard input"));
  }
  if (end == TLineEnd::Error || (end == TLineEnd::EndOfInput && line.empty())) {
    throw std::runtime_error(
        "No password given: standard input ended before a line; without a terminal, give the "
        "password with --password-file FILE");
  }
  return line;
}

std::string PasswordFromFile(const std::string& path, std::string_view name) {
  const auto lines = PasswordFileLines(path);
  for (const auto& line : lines) {
    if (!name.empty() && line.Name == name) {
      return line.Password;
    }
  }
  return lines.front().Whole;
}

std::map<std::string, std::string> NamedPasswords(const std::vector<TPasswordLine>& lines) {
  std::map<std::string, std::string> passwords;
  for (const auto& line : lines) {
    if (!line.Name.empty()) {
      passwords.emplace(line.Name, line.Password);
    }
  }
  return passwords;
}

}  // namespace tomelet::serve
