// tomelet info: the trailer and the decoded "-config-" record.
#include <CLI/CLI.hpp>
#include <memory>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "document/Document.h"
#include "document/DocumentAddress.h"
#include "tools/tomelet/CommandSupport.h"
#include "tools/tomelet/OptionsJson.h"

namespace tomelet::cli {
namespace {

// The version of info's JSON output, raised when a key changes meaning or goes away.
constexpr int kInfoJsonVersion = 1;

struct InfoArgs {
  std::string file;
  bool json = false;
};

nlohmann::ordered_json TrailerJson(const TArchiveSnapshot& archive) {
  const auto& trailer = archive.Trailer();
  nlohmann::ordered_json json;
  json["ArchiveCRC"] = Hex8(trailer.ArchiveCRC);
  json["EntryCount"] = trailer.EntryCount;
  json["Version"] = trailer.Version;
  json["RegistrySize"] = trailer.RegistrySize;
  json["DataSize"] = trailer.DataSize;
  json["RegistryCompressed"] = trailer.RegistryCompressed != 0;
  return json;
}

void AppendLine(std::string& out, std::string_view key, const nlohmann::ordered_json& value) {
  out.append("  ").append(key).append(": ");
  out.append(value.is_string() ? value.get<std::string>() : value.dump());
  out.push_back('\n');
}

void WriteText(const nlohmann::ordered_json& info, std::string& out) {
  out.append("Trailer\n");
  for (const auto& [key, value] : info["trailer"].items()) {
    AppendLine(out, key, value);
  }
  const auto& options = info["options"];
  if (options.is_null()) {
    out.append("No \"-config-\" entry\n");
    return;
  }
  out.append("Options (start URL ")
      .append(StartUrl(options["StartPage"].get<std::string>()))
      .append(")\n");
  for (const auto& [key, value] : options.items()) {
    AppendLine(out, key, value);
  }
}

void RunInfo(const InfoArgs& args) {
  const auto document = OpenDocument(args.file);
  nlohmann::ordered_json info;
  info["version"] = kInfoJsonVersion;
  info["trailer"] = TrailerJson(FormatOf(*document));
  const bool hasOptions = document->IndexOf(kConfigEntry) >= 0;
  info["options"] = hasOptions ? OptionsToJson(document->Options()) : nlohmann::ordered_json();
  TOutput output;
  if (args.json) {
    output.Text() = info.dump(2) + "\n";
  } else {
    WriteText(info, output.Text());
  }
  output.Flush();
}

}  // namespace

void AddInfoCommand(CLI::App& app) {
  auto args = std::make_shared<InfoArgs>();
  auto* command =
      app.add_subcommand("info", "Show the archive trailer and the document's project options");
  command->add_option("FILE", args->file, "Document")->required();
  command->add_flag("--json", args->json, "Print one JSON object");
  command->callback([args] { RunInfo(*args); });
}

}  // namespace tomelet::cli
