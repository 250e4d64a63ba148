// tomelet contents and tomelet keywords: the document's map as a reader sees it, from the
// "-map-" entry, else derived from the pages (and cached) on first use.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "document/Document.h"
#include "platform/text/ShownText.h"
#include "search/DocumentMapBuilder.h"
#include "tools/tomelet/CommandSupport.h"

namespace tomelet::cli {
namespace {

constexpr int kMostKeywords = 10000;

struct ContentsArgs {
  std::string file;
  bool json = false;
};

struct KeywordsArgs {
  std::string file;
  std::string query;
  int limit = 20;
  bool json = false;
};

std::shared_ptr<const TDocumentMap> OpenMap(const std::string& file) {
  const auto document = OpenDocument(file);
  return search::OpenDocumentMap(*document, document->StartPagePath());
}

void AppendLink(std::string& out, const std::string& page, const std::string& anchor) {
  out += ShownPath(page);
  if (!anchor.empty())
    out += "#" + ShownName(anchor);
}

void AppendContents(TOutput& output, const TContents& items, std::size_t depth) {
  for (const TContentsItem& item : items) {
    auto& out = output.Text();
    out.append(depth * 2, ' ');
    out += ShownName(item.Title);
    if (!item.Page.empty()) {
      out += '\t';
      AppendLink(out, item.Page, item.Anchor);
    }
    out += '\n';
    output.FlushIfLarge();
    AppendContents(output, item.Children, depth + 1);
  }
}

void RunContents(const ContentsArgs& args) {
  const auto map = OpenMap(args.file);
  TOutput output;
  if (args.json)
    output.Text() = ContentsToJson(map->Contents) + "\n";
  else
    AppendContents(output, map->Contents, 0);
  output.Flush();
}

void RunKeywords(const KeywordsArgs& args) {
  const auto map = OpenMap(args.file);
  const auto found = map->Keywords.Lookup(args.query, static_cast<std::size_t>(args.limit));
  TOutput output;
  if (args.json) {
    output.Text() = KeywordsToJson(args.query, found) + "\n";
  } else {
    for (const TKeyword& keyword : found) {
      auto& out = output.Text();
      out += ShownName(keyword.Term) + '\t';
      AppendLink(out, keyword.Page, keyword.Anchor);
      out += '\t' + ShownName(keyword.PageTitle) + '\n';
    }
  }
  output.Flush();
  // Finding nothing is an answer, not a failure: the exit code stays 0.
  if (found.empty())
    std::fprintf(stderr, "no keywords match \"%s\"\n", ShownName(args.query).c_str());
}

}  // namespace

void AddContentsCommand(CLI::App& app) {
  auto args = std::make_shared<ContentsArgs>();
  auto* command = app.add_subcommand("contents", "Show the table of contents of a document");
  command->add_option("FILE", args->file, "Document")->required();
  command->add_flag("--json", args->json,
                    "The tree as one JSON object, the form `pack --contents` reads");
  command->callback([args] { RunContents(*args); });
}

void AddKeywordsCommand(CLI::App& app) {
  auto args = std::make_shared<KeywordsArgs>();
  auto* command = app.add_subcommand("keywords", "Look a term up in a document's keyword index");
  command->add_option("FILE", args->file, "Document")->required();
  command->add_option("QUERY", args->query, "Beginning of the term or of a word in it")->required();
  command->add_option("--limit", args->limit, "Most keywords to show")
      ->check(CLI::Range(1, kMostKeywords))
      ->capture_default_str();
  command->add_flag("--json", args->json, "One JSON object instead of lines");
  command->callback([args] { RunKeywords(*args); });
}

}  // namespace tomelet::cli
