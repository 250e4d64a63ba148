// tomelet import: a CHM, ZIM, EPUB, docset, Devhelp book or site archive as a document. Apart
// from pack because its source is a stranger's container read by its own reader in a bounded
// child, with the source's map, while pack takes an author's folder with the author's options.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "import/Import.h"
#include "platform/cleanup/Leftovers.h"
#include "tools/tomelet/CommandSupport.h"
#include "tools/tomelet/PackOutput.h"

namespace tomelet::cli {
namespace {

struct ImportArgs {
  std::string source;
  std::string out;
  std::string level = "default";
  bool noIndex = false;
  std::string language;
};

// The source's name without its extensions, with ".tlt", in the current folder
// ("manual.tar.gz" makes "manual.tlt", "Python_3.docset/" "Python_3.tlt").
std::string DefaultOutput(const std::filesystem::path& source) {
  std::filesystem::path name =
      source.has_filename() ? source.filename() : source.parent_path().filename();
  while (name.has_extension())
    name = name.stem();
  return name.string() + ".tlt";
}

void RunImport(const ImportArgs& args) {
  RemoveLeftoversOnInterrupt();
  const std::string out = args.out.empty() ? DefaultOutput(args.source) : args.out;
  std::unique_ptr<TProgressBar> bar;
  std::size_t shown = 0;
  const importer::TImportSettings settings{
      .Level = CompressionLevel(args.level),
      .Index = !args.noIndex,
      .Language = args.language,
      .Progress =
          [&bar, &shown](std::size_t done, std::size_t total) {
            if (!bar)
              bar = std::make_unique<TProgressBar>(total, total);
            for (; shown < done; ++shown)
              bar->Advance(1);
          },
      .Warn =
          [&bar](const std::string& note) {
            if (bar)
              bar->Break();
            std::fprintf(stderr, "warning: %s\n", note.c_str());
          }};
  importer::ImportDocument(args.source, out, settings);
}

}  // namespace

void AddImportCommand(CLI::App& app) {
  auto args = std::make_shared<ImportArgs>();
  auto* command = app.add_subcommand(
      "import", "Make a document of a CHM, ZIM, EPUB, docset, Devhelp book or site archive");
  command->add_option("SOURCE", args->source, "File or folder to import (recognised by content)")
      ->required();
  command->add_option("-o,--output", args->out,
                      "Document to write, - for standard output (default: SOURCE's name with "
                      ".tlt, in this folder)");
  command->add_option("--level", args->level, "Compression level")
      ->check(CLI::IsMember({"none", "fastest", "default", "maximum"}));
  command->add_flag("--no-index", args->noIndex, "Leave the search index out");
  command->add_option("--language", args->language,
                      "Language of the pages for the search index's stemmer (default: the "
                      "source's)");
  command->callback([args] { RunImport(*args); });
}

}  // namespace tomelet::cli
