#include "WebHost/UserAgent.h"

namespace tomelet {
namespace {

bool IsControl(char ch) {
  const auto byte = static_cast<unsigned char>(ch);
  return byte < 0x20 || byte == 0x7F;
}

bool IsPrintable(char ch) {
  return ch >= 0x20 && ch <= 0x7E;
}

bool IsTokenCharacter(char ch) {
  const bool letterOrDigit =
      (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
  return letterOrDigit || std::string_view("!#$%&'*+-.^_`|~").find(ch) != std::string_view::npos;
}

// Runs of control characters between words become one space; nothing blank is kept at the ends.
std::string OneLine(std::string_view text) {
  std::string line;
  bool gap = false;
  for (const char ch : text) {
    if (IsControl(ch)) {
      gap = !line.empty();
      continue;
    }
    if (gap && line.back() != ' ' && ch != ' ')
      line.push_back(' ');
    gap = false;
    if (ch != ' ' || !line.empty())
      line.push_back(ch);
  }
  while (!line.empty() && line.back() == ' ')
    line.pop_back();
  return line;
}

// Each reader moves at past what it read and answers whether the text there had its form.
bool ReadToken(std::string_view text, std::size_t& at) {
  const std::size_t start = at;
  while (at < text.size() && IsTokenCharacter(text[at]))
    ++at;
  return at > start;
}

bool ReadProduct(std::string_view text, std::size_t& at) {
  if (!ReadToken(text, at))
    return false;
  if (at < text.size() && text[at] == '/')
    return ReadToken(text, ++at);
  return true;
}

// A comment may hold comments of its own and characters escaped with '\'.
bool ReadComment(std::string_view text, std::size_t& at) {
  int depth = 0;
  for (; at < text.size(); ++at) {
    const char ch = text[at];
    if (ch == '\\') {
      if (++at == text.size() || !IsPrintable(text[at]))
        return false;
    } else if (ch == '(') {
      ++depth;
    } else if (ch == ')') {
      if (--depth == 0) {
        ++at;
        return true;
      }
    } else if (!IsPrintable(ch)) {
      return false;
    }
  }
  return false;
}

// A product, then products and comments, each after one space or more.
bool IsUserAgentValue(std::string_view text) {
  std::size_t at = 0;
  if (!ReadProduct(text, at))
    return false;
  while (at < text.size()) {
    const std::size_t spaces = at;
    while (at < text.size() && text[at] == ' ')
      ++at;
    if (at == spaces || at == text.size())
      return false;
    if (text[at] == '(' ? !ReadComment(text, at) : !ReadProduct(text, at))
      return false;
  }
  return true;
}

}  // namespace

std::string EngineUserAgent(std::string_view recorded) {
  std::string line = OneLine(recorded);
  return IsUserAgentValue(line) ? line : std::string();
}

}  // namespace tomelet
