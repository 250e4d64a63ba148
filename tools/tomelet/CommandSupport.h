// Pieces shared by the commands of the tomelet tool: registration of each command, finding the
// entry a command names, and buffered output to stdout.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/DocumentEntries.h"
#include "platform/streams/Streams.h"

namespace CLI {
class App;
}

namespace tomelet {

class TDocument;
class TArchiveSnapshot;

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

// The entry a command names, found as the viewer finds it (with the Windows-1252 retry); when that
// finds nothing, with "/" read as "\\", the separator of archive paths.
TFoundEntry FindNamedEntry(const TDocument& document, const std::string& name);
// FindNamedEntry, or "<name> not found in archive" with the name as typed.
int NamedEntry(const TDocument& document, const std::string& name);

// The archive file under a document, for the commands that show or rewrite the format itself.
// Throws std::runtime_error for a document kept in another container.
const TArchiveSnapshot& FormatOf(const TDocument& document);

// The writer's level for "none", "fastest", "default" or "maximum".
TFileCompressionLevel CompressionLevel(const std::string& name);

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
// An archive path as JSON output gives it: "/" between folders, shown as UTF-8.
std::string JsonPath(std::string_view archivePath);

}  // namespace cli
}  // namespace tomelet
