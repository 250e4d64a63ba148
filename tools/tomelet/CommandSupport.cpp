#include "tools/tomelet/CommandSupport.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <stdexcept>

#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/Document.h"
#include "platform/text/Codepage.h"
#include "platform/text/ShownText.h"
#include "search/ResultsJson.h"

namespace tomelet::cli {
namespace {

constexpr std::size_t kFlushThreshold = 1 << 16;

constexpr std::string_view kHexDigits = "0123456789abcdef";

}  // namespace

TFileCompressionLevel CompressionLevel(const std::string& name) {
  static const std::pair<std::string_view, TFileCompressionLevel> kLevels[] = {
      {"none", fcNone}, {"fastest", fcFastest}, {"default", fcDefault}, {"maximum", fcMaximum}};
  for (const auto& [levelName, level] : kLevels) {
    if (name == levelName)
      return level;
  }
  throw std::invalid_argument("Unknown compression level " + name);
}

TFoundEntry FindNamedEntry(const TDocument& document, const std::string& name) {
  TFoundEntry found = document.Find(name);
  if (found.Found() || name.find('/') == std::string::npos)
    return found;
  std::string withBackslashes = name;
  std::replace(withBackslashes.begin(), withBackslashes.end(), '/', '\\');
  return document.Find(withBackslashes);
}

int NamedEntry(const TDocument& document, const std::string& name) {
  const TFoundEntry found = FindNamedEntry(document, name);
  if (!found.Found())
    throw EZLBArchiveError(name + " not found in archive");
  return found.Index;
}

const TArchiveSnapshot& FormatOf(const TDocument& document) {
  const TArchiveSnapshot* archive = document.StoredArchive();
  if (archive == nullptr)
    throw std::runtime_error(document.FileName().string() +
                             " is not kept in a Tomelet archive file, which this command reads");
  return *archive;
}

void WriteAll(int fd, std::span<const std::byte> data) {
  while (!data.empty()) {
    const auto written = ::write(fd, data.data(), data.size());
    if (written < 0 && errno != EINTR) {
      throw EStreamError(std::string("Cannot write: ") + std::strerror(errno));
    }
    data = data.subspan(static_cast<std::size_t>(std::max<ssize_t>(written, 0)));
  }
}

void TOutput::FlushIfLarge() {
  if (text_.size() >= kFlushThreshold) {
    Flush();
  }
}

void TOutput::Write(std::span<const std::byte> bytes) {
  Flush();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    throw std::runtime_error("Error writing output");
  }
}

void TOutput::Flush() {
  if (!text_.empty() && std::fwrite(text_.data(), 1, text_.size(), file_) != text_.size()) {
    throw std::runtime_error("Error writing output");
  }
  text_.clear();
  if (std::fflush(file_) != 0) {
    throw std::runtime_error("Error writing output");
  }
}

void AppendNumber(std::string& out, std::int64_t value) {
  std::array<char, 24> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  out.append(digits.data(), result.ptr);
}

void AppendPadded(std::string& out, std::int64_t value, std::size_t width) {
  std::array<char, 24> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  const auto length = static_cast<std::size_t>(result.ptr - digits.data());
  if (length < width) {
    out.append(width - length, ' ');
  }
  out.append(digits.data(), length);
}

void AppendHex8(std::string& out, std::uint32_t value) {
  for (int shift = 28; shift >= 0; shift -= 4) {
    out.push_back(kHexDigits[(value >> shift) & 0xF]);
  }
}

std::string Hex8(std::uint32_t value) {
  std::string out;
  AppendHex8(out, value);
  return out;
}

void AppendJsonString(std::string& out, std::string_view text) {
  out.push_back('"');
  search::AppendJsonEscaped(out, text);
  out.push_back('"');
}

void AppendJsonDisplayText(std::string& out, std::string_view text) {
  search::AppendJsonEscaped(out, DisplayText(text));
}

std::string JsonPath(std::string_view archivePath) {
  return DisplayText(SlashSeparated(archivePath));
}

}  // namespace tomelet::cli
