// tomelet search: the document's pages that match a query, from its index (built into the
// user's cache first when the document carries none).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "platform/text/ShownText.h"
#include "search/DocumentIndex.h"
#include "search/ResultsJson.h"
#include "tools/tomelet/CommandSupport.h"
#include "tools/tomelet/SearchIndexing.h"

namespace tomelet::cli {
namespace {

// More results than anyone reads; it keeps Xapian's counts far from their limits.
constexpr int kMostResults = 10000;

struct SearchArgs {
  std::string file;
  std::string query;
  int limit = 10;
  bool json = false;
};

void WriteLines(TOutput& output, const search::TSearchResults& results) {
  auto& out = output.Text();
  for (std::size_t i = 0; i < results.Hits.size(); ++i) {
    const auto& hit = results.Hits[i];
    AppendNumber(out, static_cast<std::int64_t>(i + 1));
    out += '\t';
    out += ShownPath(hit.Path);
    if (!hit.Anchor.empty()) {
      out += '#';
      out += ShownName(hit.Anchor);
    }
    out += '\t';
    out += ShownName(hit.Title);
    out += '\n';
  }
}

void RunSearch(const SearchArgs& args) {
  const auto archive = OpenDocumentFile(args.file);
  const auto opened = search::OpenDocumentIndex(*archive, archive->StartPage(), IndexingProgress());
  if (!opened.Refusal.empty()) {
    std::fprintf(stderr, "warning: %s; searching an index built from the pages instead\n",
                 opened.Refusal.c_str());
  }
  const auto results = opened.Index->Search(args.query, 0, static_cast<std::size_t>(args.limit));
  TOutput output;
  if (args.json) {
    output.Text() = search::ResultsJson(results) + "\n";
  } else {
    WriteLines(output, results);
  }
  output.Flush();
  // Finding nothing is an answer, not a failure: the exit code stays 0.
  if (results.Hits.empty()) {
    std::fprintf(stderr, "no pages match \"%s\"\n", ShownName(args.query).c_str());
  }
}

}  // namespace

void AddSearchCommand(CLI::App& app) {
  auto args = std::make_shared<SearchArgs>();
  auto* command = app.add_subcommand("search", "Search the pages of a document");
  command->add_option("FILE", args->file, "Document")->required();
  command->add_option("QUERY", args->query, "Words to look for")->required();
  command->add_option("--limit", args->limit, "Most results to show")
      ->check(CLI::Range(1, kMostResults))
      ->capture_default_str();
  command->add_flag("--json", args->json, "One JSON object instead of lines");
  command->callback([args] { RunSearch(*args); });
}

}  // namespace tomelet::cli
