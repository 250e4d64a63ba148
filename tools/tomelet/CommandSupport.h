// Pieces shared by the commands of the tomelet tool: registration of each command, opening a
// document (DocumentFile.h), and buffered output to stdout.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "platform/streams/Streams.h"
#include "tools/tomelet/DocumentFile.h"

namespace CLI {
class App;
}

namespace tomelet {

class TZLBArc2;

namespace cli {

void AddListCommand(CLI::App& app);
void AddCatCommand(CLI::App& app);
void AddVerifyCommand(CLI::App& app);
void AddInfoCommand(CLI::App& app);
void AddExtractCommand(CLI::App& app);
void AddPackCommand(CLI::App& app);
void AddImportCommand(CLI::App& app);
void AddServeCommand(CLI::App& app);
void AddSearchCommand(CLI::App& app);
void AddIndexCommand(CLI::App& app);
void AddContentsCommand(CLI::App& app);
void AddKeywordsCommand(CLI::App& app);

// The writer's level for "none", "fastest", "default" or "maximum".
TFileCompressionLevel CompressionLevel(const std::string& name);

// The name as the archive knows it: as given when an entry has it, else with "/" read as "\\",
// the separator of archive paths, when that names one; otherwise as given, for the reader's own
// "not found" message.
std::string EntryNameFor(const TZLBArc2& arc, const std::string& name);

// Writes every byte of data to the descriptor, or raises EStreamError "Cannot write: <reason>".
void WriteAll(int fd, std::span<const std::byte> data);

// Collects text in memory and hands it to the file in large blocks; Flush reports write errors
// (a full disk, a closed pipe) as exceptions instead of losing them.
class TOutput {
 public:
  explicit TOutput(std::FILE* file = stdout) : file_(file) {}
  std::string& Text() { return text_; }
  // Writes the collected text once it has grown large, to keep memory flat for long listings.
  void FlushIfLarge();
  void Write(std::span<const std::byte> bytes);
  void Flush();

 private:
  std::FILE* file_;
  std::string text_;
};

void AppendNumber(std::string& out, std::int64_t value);
// Right-aligned in a column of the given width.
void AppendPadded(std::string& out, std::int64_t value, std::size_t width);
// Eight lowercase hexadecimal digits.
void AppendHex8(std::string& out, std::uint32_t value);
std::string Hex8(std::uint32_t value);
// A JSON string literal; text must be valid UTF-8.
void AppendJsonString(std::string& out, std::string_view text);
// The inside of a JSON string literal for 8-bit text as stored, shown as UTF-8.
void AppendJsonDisplayText(std::string& out, std::string_view text);

}  // namespace cli
}  // namespace tomelet
