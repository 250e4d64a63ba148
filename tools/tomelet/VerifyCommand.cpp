// tomelet verify: the archive's CRC, every entry's CRC and the search index, as lines or as one
// JSON object; every damaged entry is named, and a failure ends with the reader's message.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "document/Document.h"
#include "platform/text/Codepage.h"
#include "platform/text/ShownText.h"
#include "search/BrokenLinks.h"
#include "search/DocumentMapBuilder.h"
#include "tools/tomelet/CommandSupport.h"
#include "tools/tomelet/VerifyReport.h"

namespace tomelet::cli {
namespace {

// The version of verify's JSON output, raised when a key changes meaning or goes away. 2: paths
// with "/", the exact name of an entry as "stored_path".
constexpr int kVerifyJsonVersion = 2;

struct VerifyArgs {
  std::string file;
  bool json = false;
  bool links = false;
};

search::TLinkReport CheckLinks(const TDocument& document) {
  const auto map = search::OpenDocumentMap(document, document.StartPagePath());
  return search::FindBrokenLinks(document, map.get());
}

nlohmann::ordered_json LinksJson(const search::TLinkReport& links) {
  nlohmann::ordered_json json;
  json["checked"] = links.Checked;
  json["broken"] = nlohmann::ordered_json::array();
  for (const auto& link : links.Broken) {
    json["broken"].push_back({{"page", DisplayText(link.Page)},
                              {"link", DisplayText(link.Link)},
                              {"target", DisplayText(link.Target)}});
  }
  return json;
}

std::string LinksFailure(const search::TLinkReport& links) {
  if (links.Broken.empty())
    return {};
  return std::to_string(links.Broken.size()) + " of " + std::to_string(links.Checked) +
         " internal links reach no entry";
}

nlohmann::ordered_json IndexJson(const std::optional<TIndexReport>& index) {
  if (!index) {
    return nullptr;
  }
  nlohmann::ordered_json json;
  json["pages"] = index->Pages ? nlohmann::ordered_json(*index->Pages) : nullptr;
  json["missing_pages"] = index->MissingPages;
  json["first_missing_page"] = index->MissingPages == 0
                                   ? nullptr
                                   : nlohmann::ordered_json(JsonPath(index->FirstMissingPage));
  json["short_pages"] = index->ShortPages;
  json["first_short_page"] =
      index->ShortPages == 0 ? nullptr : nlohmann::ordered_json(JsonPath(index->FirstShortPage));
  json["sound"] = index->Message.empty();
  json["message"] = index->Message.empty() ? nullptr : nlohmann::ordered_json(index->Message);
  return json;
}

nlohmann::ordered_json ReportJson(const TVerifyReport& report) {
  nlohmann::ordered_json json;
  const auto failure = report.Failure();
  json["version"] = kVerifyJsonVersion;
  json["sound"] = failure.empty();
  json["entry_count"] = report.EntryCount;
  json["sound_entries"] = report.SoundEntries();
  json["bytes"] = report.Bytes;
  json["archive_crc"] = Hex8(report.StoredArchiveCrc);
  json["computed_archive_crc"] = Hex8(report.ComputedArchiveCrc);
  json["archive_crc_matches"] = report.ArchiveCrcMatches();
  json["damaged_entries"] = nlohmann::ordered_json::array();
  for (const auto& entry : report.Damaged) {
    json["damaged_entries"].push_back({{"index", entry.Index},
                                       {"path", JsonPath(entry.ArchivePath)},
                                       {"stored_path", DisplayText(entry.ArchivePath)},
                                       {"message", DisplayText(entry.Message)}});
  }
  json["notes"] = nlohmann::ordered_json::array();
  for (const auto& entry : report.Notes) {
    json["notes"].push_back({{"index", entry.Index},
                             {"path", JsonPath(entry.ArchivePath)},
                             {"stored_path", DisplayText(entry.ArchivePath)},
                             {"note", entry.Note}});
  }
  json["search_index"] = IndexJson(report.Index);
  json["message"] = failure.empty() ? nullptr : nlohmann::ordered_json(DisplayText(failure));
  return json;
}

void WriteSoundLines(const TVerifyReport& report, std::string& out) {
  out.append("OK: ");
  AppendNumber(out, report.EntryCount);
  out.append(" entries, ");
  AppendNumber(out, report.Bytes);
  out.append(" bytes, archive CRC ");
  AppendHex8(out, report.StoredArchiveCrc);
  out.push_back('\n');
  if (report.Index && report.Index->Message.empty()) {
    out.append("OK: search index of ");
    AppendNumber(out, static_cast<std::int64_t>(*report.Index->Pages));
    out.append(" pages\n");
  }
}

// Every fault on its own line before the last one, which the caller's message fills.
void WriteFaultLines(const TVerifyReport& report) {
  for (const auto& entry : report.Damaged) {
    std::fprintf(stderr, "Damaged entry: %s\n", ShownPath(entry.ArchivePath).c_str());
  }
  if (!report.EntriesSound()) {
    std::fprintf(stderr, "%d of %d entries are sound\n", report.SoundEntries(), report.EntryCount);
  }
  if (!report.ArchiveCrcMatches()) {
    std::fprintf(stderr, "Archive CRC %s, computed %s\n", Hex8(report.StoredArchiveCrc).c_str(),
                 Hex8(report.ComputedArchiveCrc).c_str());
  }
  if (!report.EntriesSound() && report.Index && !report.Index->Message.empty()) {
    std::fprintf(stderr, "%s\n", ShownName(report.Index->Message).c_str());
  }
}

void WriteNoteLines(const TVerifyReport& report) {
  for (const auto& entry : report.Notes) {
    std::fprintf(stderr, "Note: %s: %s\n", ShownPath(entry.ArchivePath).c_str(),
                 entry.Note.c_str());
  }
}

void WriteLinkLines(const search::TLinkReport& links, std::string& out) {
  if (links.Broken.empty()) {
    out.append("OK: ");
    AppendNumber(out, static_cast<std::int64_t>(links.Checked));
    out.append(" internal links reach their entries\n");
  }
  for (const auto& link : links.Broken)
    std::fprintf(stderr, "Broken link: %s -> %s\n", ShownPath(link.Page).c_str(),
                 ShownName(link.Link).c_str());
}

void RunVerify(const VerifyArgs& args) {
  // Opened once for the entries and the links alike. Throws the reader's EZLBArchiveError only
  // when the document cannot be opened at all (no file, an unknown version, a damaged registry).
  const auto document = OpenDocument(args.file);
  const auto report = VerifyDocument(document);
  const auto links = args.links ? CheckLinks(*document) : search::TLinkReport{};
  if (!args.json) {
    WriteNoteLines(report);
  }
  TOutput output;
  if (args.json) {
    auto json = ReportJson(report);
    if (args.links) {
      json["links"] = LinksJson(links);
      if (report.Failure().empty() && !links.Broken.empty()) {
        json["sound"] = false;
        json["message"] = LinksFailure(links);
      }
    }
    output.Text() = json.dump(2) + "\n";
  } else if (report.EntriesSound()) {
    WriteSoundLines(report, output.Text());
    if (args.links)
      WriteLinkLines(links, output.Text());
  }
  output.Flush();
  const auto failure = report.Failure().empty() ? LinksFailure(links) : report.Failure();
  if (failure.empty()) {
    return;
  }
  if (!args.json) {
    WriteFaultLines(report);
  }
  throw std::runtime_error(failure);
}

}  // namespace

void AddVerifyCommand(CLI::App& app) {
  auto args = std::make_shared<VerifyArgs>();
  auto* command = app.add_subcommand(
      "verify", "Check the archive's CRC, every entry's CRC and the document's search index");
  command->add_option("FILE", args->file, "Document")->required();
  command->add_flag("--json", args->json, "Print one JSON object");
  command->add_flag("--links", args->links,
                    "Also list every internal link of the pages and the map that reaches no "
                    "entry");
  command->callback([args] { RunVerify(*args); });
}

}  // namespace tomelet::cli
