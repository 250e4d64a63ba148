// tomelet search: the document's pages that match a query, from its index (built into the
// user's cache first when the document carries none).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "search/DocumentIndex.h"
#include "tools/tomelet/CommandSupport.h"
#include "tools/tomelet/DocumentSearch.h"

namespace tomelet::cli {
namespace {

struct SearchArgs {
  std::string file;
  std::string query;
  std::size_t limit = 10;
  bool json = false;
};

void AppendScore(std::string& out, double score) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", score);
  out += text;
}

void WriteJson(TOutput& output, const search::TSearchResults& results) {
  auto& out = output.Text();
  out += "{\"query\":";
  out += "\"";
  AppendJsonDisplayText(out, results.Query);
  out += "\"";
  out += ",\"total\":";
  AppendNumber(out, static_cast<std::int64_t>(results.Total));
  out += ",\"results\":[";
  for (std::size_t i = 0; i < results.Hits.size(); ++i) {
    const auto& hit = results.Hits[i];
    out += i == 0 ? "{\"path\":\"" : ",{\"path\":\"";
    AppendJsonDisplayText(out, hit.Path);
    out += "\",\"anchor\":";
    AppendJsonString(out, hit.Anchor);
    out += ",\"title\":";
    AppendJsonString(out, hit.Title);
    out += ",\"snippet\":";
    AppendJsonString(out, hit.Snippet);
    out += ",\"score\":";
    AppendScore(out, hit.Score);
    out += '}';
  }
  out += "]}\n";
}

void WriteLines(TOutput& output, const search::TSearchResults& results) {
  auto& out = output.Text();
  for (std::size_t i = 0; i < results.Hits.size(); ++i) {
    const auto& hit = results.Hits[i];
    AppendNumber(out, static_cast<std::int64_t>(i + 1));
    out += '\t';
    out += hit.Path;
    if (!hit.Anchor.empty()) {
      out += '#';
      out += hit.Anchor;
    }
    out += '\t';
    out += hit.Title;
    out += '\n';
  }
}

void RunSearch(const SearchArgs& args) {
  const auto archive = OpenDocumentSnapshot(args.file);
  const auto opened =
      search::OpenDocumentIndex(*archive, StartPageEntry(*archive), IndexingProgress());
  if (!opened.Refusal.empty()) {
    std::fprintf(stderr, "warning: %s; searching an index built from the pages instead\n",
                 opened.Refusal.c_str());
  }
  const auto results = opened.Index->Search(args.query, 0, args.limit);
  TOutput output;
  if (args.json) {
    WriteJson(output, results);
  } else {
    WriteLines(output, results);
  }
  output.Flush();
}

}  // namespace

void AddSearchCommand(CLI::App& app) {
  auto args = std::make_shared<SearchArgs>();
  auto* command = app.add_subcommand("search", "Search the pages of a document");
  command->add_option("FILE", args->file, "Document")->required();
  command->add_option("QUERY", args->query, "Words to look for")->required();
  command->add_option("--limit", args->limit, "Most results to show")->capture_default_str();
  command->add_flag("--json", args->json, "One JSON object instead of lines");
  command->callback([args] { RunSearch(*args); });
}

}  // namespace tomelet::cli
