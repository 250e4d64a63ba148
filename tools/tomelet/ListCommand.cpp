// tomelet list: the registry of a document as a table or as one JSON object.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "ZLIBArchive2/EntryChecks.h"
#include "document/Document.h"
#include "platform/text/ShownText.h"
#include "tools/tomelet/CommandSupport.h"

namespace tomelet::cli {
namespace {

// The version of list's JSON output. Its key is "schema_version" because "version" has always
// held the archive's own format version. 2: "path" and "folder" with "/", "stored_path" exact.
constexpr int kListJsonVersion = 2;

struct ListArgs {
  std::string file;
  bool json = false;
};

std::string_view MethodName(std::uint8_t method) {
  switch (method) {
    case kMethodDeflated:
      return "deflated";
    case kMethodStored:
      return "stored";
    case kMethodDeflatedEncrypted:
      return "deflated+enc";
    case kMethodStoredEncrypted:
      return "stored+enc";
    default:
      return "unknown";
  }
}

void AppendField(std::string& out, std::string_view key, std::int64_t value) {
  AppendJsonString(out, key);
  out.push_back(':');
  AppendNumber(out, value);
  out.push_back(',');
}

void AppendEntryJson(std::string& out, int index, const TEntryView& entry) {
  out.append("{");
  AppendField(out, "index", index);
  const std::string stored = std::string(entry.Path) + std::string(entry.FileName);
  out.append("\"path\":\"");
  AppendJsonDisplayText(out, SlashSeparated(stored));
  out.append("\",\"stored_path\":\"");
  AppendJsonDisplayText(out, stored);
  out.append("\",\"name\":\"");
  AppendJsonDisplayText(out, entry.FileName);
  out.append("\",\"folder\":\"");
  AppendJsonDisplayText(out, SlashSeparated(entry.Path));
  out.push_back('"');
  out.push_back(',');
  AppendField(out, "original_size", entry.OriginalSize);
  AppendField(out, "compressed_size", entry.CompressedSize);
  AppendField(out, "stored_size", StoredLength(entry));
  AppendField(out, "decrypt_size", entry.DecryptSize);
  AppendField(out, "offset", entry.Offset);
  out.append("\"crc\":\"");
  AppendHex8(out, entry.CRC);
  out.append("\",");
  AppendField(out, "method", entry.Method);
  out.append("\"level\":");
  AppendNumber(out, entry.Level);
  out.append("}");
}

void WriteJson(const TArchiveSnapshot& archive, TOutput& output) {
  const auto& trailer = archive.Trailer();
  auto& out = output.Text();
  out.append("{");
  AppendField(out, "schema_version", kListJsonVersion);
  AppendField(out, "version", trailer.Version);
  AppendField(out, "entry_count", archive.EntryCount());
  out.append(trailer.RegistryCompressed != 0 ? "\"registry_compressed\":true,"
                                             : "\"registry_compressed\":false,");
  AppendField(out, "data_size", trailer.DataSize);
  AppendField(out, "registry_size", trailer.RegistrySize);
  AppendField(out, "archive_start", archive.ArchiveStart());
  out.append("\"archive_crc\":\"");
  AppendHex8(out, trailer.ArchiveCRC);
  out.append("\",\"entries\":[");
  for (int i = 0; i < archive.EntryCount(); ++i) {
    out.append(i == 0 ? "\n" : ",\n");
    AppendEntryJson(out, i, archive.Entry(i));
    output.FlushIfLarge();
  }
  out.append("\n]}\n");
}

void WriteTable(const TArchiveSnapshot& archive, TOutput& output) {
  auto& out = output.Text();
  out.append("    Original   Compressed  Method        CRC       Path\n");
  std::int64_t original = 0;
  std::int64_t compressed = 0;
  for (int i = 0; i < archive.EntryCount(); ++i) {
    const auto entry = archive.Entry(i);
    AppendPadded(out, entry.OriginalSize, 12);
    AppendPadded(out, StoredLength(entry), 13);
    out.append("  ");
    const auto method = MethodName(entry.Method);
    out.append(method).append(14 - method.size(), ' ');
    AppendHex8(out, entry.CRC);
    out.append("  ");
    out.append(ShownPath(entry.ArchivePath()));
    out.push_back('\n');
    original += entry.OriginalSize;
    compressed += StoredLength(entry);
    output.FlushIfLarge();
  }
  out.append("------------ ------------\n");
  AppendPadded(out, original, 12);
  AppendPadded(out, compressed, 13);
  out.append("  ");
  AppendNumber(out, archive.EntryCount());
  out.append(archive.EntryCount() == 1 ? " entry\n" : " entries\n");
}

void RunList(const ListArgs& args) {
  // Listing reads only the registry; checking the whole archive is what verify is for.
  const auto document = OpenDocument(args.file);
  const TArchiveSnapshot& archive = FormatOf(*document);
  TOutput output;
  if (args.json) {
    WriteJson(archive, output);
  } else {
    WriteTable(archive, output);
  }
  output.Flush();
}

}  // namespace

void AddListCommand(CLI::App& app) {
  auto args = std::make_shared<ListArgs>();
  auto* command = app.add_subcommand("list", "List the entries of a document");
  command->add_option("FILE", args->file, "Document (.tlt or a viewer carrying one)")->required();
  command->add_flag("--json", args->json, "Print one JSON object instead of a table");
  command->callback([args] { RunList(*args); });
}

}  // namespace tomelet::cli
