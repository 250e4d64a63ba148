// tomelet search: the document's pages that match a query, from its index (built into the
// user's cache first when the document carries none); or those of a library of documents, in
// one ranked list.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "document/Document.h"
#include "library/Library.h"
#include "library/LibrarySearch.h"
#include "library/Workers.h"
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
  std::vector<std::string> paths;
  std::string query;
  int limit = 10;
  bool json = false;
  bool recursive = false;
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

void WriteLibraryLines(TOutput& output, const library::TLibraryResults& results) {
  auto& out = output.Text();
  for (std::size_t i = 0; i < results.Hits.size(); ++i) {
    const auto& [document, hit] = results.Hits[i];
    AppendNumber(out, static_cast<std::int64_t>(i + 1));
    out += '\t' + document + '\t' + ShownPath(hit.Path);
    if (!hit.Anchor.empty()) {
      out += '#' + ShownName(hit.Anchor);
    }
    out += '\t' + ShownName(hit.Title) + '\n';
  }
}

// Documents without an index are indexed into the cache first, in the background; the search
// waits for them, so that its answer covers every document it was given.
library::TLibraryResults SearchWhenIndexed(const library::TDocumentList& documents,
                                           const library::TLibraryQuery& query, int limit,
                                           library::TWorkers* workers) {
  bool told = false;
  while (true) {
    auto results = library::SearchLibrary(documents, query, 0, static_cast<std::size_t>(limit), {},
                                          SIZE_MAX, workers);
    if (results.Indexing.empty()) {
      return results;
    }
    if (!told) {
      std::fprintf(stderr, "Indexing %zu documents for search...\n", results.Indexing.size());
      told = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

void RunLibrarySearch(const SearchArgs& args) {
  const library::TLibrary shelf(
      {args.paths.begin(), args.paths.end()},
      {.Recursive = args.recursive, .Workers = std::make_shared<library::TWorkers>()});
  const auto documents = shelf.Documents();
  const auto query = library::ReadLibraryQuery(args.query, {}, *documents);
  const auto results = SearchWhenIndexed(*documents, query, args.limit, shelf.Workers());
  for (const auto& failed : results.Failed) {
    std::fprintf(stderr, "warning: %s cannot be searched\n", failed.c_str());
  }
  TOutput output;
  if (args.json) {
    output.Text() = library::LibraryResultsJson(results) + "\n";
  } else {
    WriteLibraryLines(output, results);
  }
  output.Flush();
  if (results.Hits.empty()) {
    std::fprintf(stderr, "no pages match \"%s\"\n", ShownName(query.Text).c_str());
  }
}

void RunDocumentSearch(const SearchArgs& args) {
  const auto archive = OpenDocument(args.paths.front());
  const auto opened =
      search::OpenDocumentIndex(archive, archive->StartPagePath(), IndexingProgress());
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

bool IsDocumentOrFolder(const std::filesystem::path& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (std::filesystem::is_directory(status)) {
    return true;
  }
  const bool executable =
      (status.permissions() & std::filesystem::perms::owner_exec) != std::filesystem::perms::none;
  return std::filesystem::is_regular_file(status) && library::LooksLikeDocument(path, executable);
}

// The first word names a document or folder; so does each next one until a word that is
// neither, which starts the query: "search doc.tlt read a file" looks for "read a file". When
// every word names one, the last is the query.
void SplitOffQuery(SearchArgs& args) {
  auto query = std::find_if(std::next(args.paths.begin()), args.paths.end(),
                            [](const std::string& word) { return !IsDocumentOrFolder(word); });
  if (query == args.paths.end()) {
    query = std::prev(query);
  }
  for (auto word = query; word != args.paths.end(); ++word) {
    args.query += (word == query ? "" : " ") + *word;
  }
  args.paths.erase(query, args.paths.end());
}

void RunSearch(const SearchArgs& args) {
  std::error_code ec;
  if (args.paths.size() == 1 && !std::filesystem::is_directory(args.paths.front(), ec)) {
    RunDocumentSearch(args);
  } else {
    RunLibrarySearch(args);
  }
}

}  // namespace

void AddSearchCommand(CLI::App& app) {
  auto args = std::make_shared<SearchArgs>();
  auto* command =
      app.add_subcommand("search", "Search the pages of a document, or of a library of them");
  // The query comes last after any number of paths, which CLI11 cannot tell apart by itself.
  command
      ->add_option(
          "PATH... QUERY", args->paths,
          "Document, or folder of documents (several make a library; scope the query "
          "with \"NAME: words\"), then the words to look for (from the first word that is neither)")
      ->expected(2, -1)
      ->required();
  command->add_option("--limit", args->limit, "Most results to show")
      ->check(CLI::Range(1, kMostResults))
      ->capture_default_str();
  command->add_flag("--json", args->json, "One JSON object instead of lines");
  command->add_flag("--recursive", args->recursive, "Take documents in subfolders of a folder too");
  command->callback([args] {
    SplitOffQuery(*args);
    RunSearch(*args);
  });
}

}  // namespace tomelet::cli
