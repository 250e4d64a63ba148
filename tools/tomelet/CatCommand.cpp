// tomelet cat: one entry's contents on stdout.
#include <CLI/CLI.hpp>
#include <memory>

#include "document/Document.h"
#include "tools/tomelet/CommandSupport.h"

namespace tomelet::cli {
namespace {

struct CatArgs {
  std::string file;
  std::string name;
};

// Read whole and checked first: damaged bytes must not reach a pipe as if they were the entry.
void RunCat(const CatArgs& args) {
  const auto document = OpenDocument(args.file);
  const auto contents = document->Contents(NamedEntry(*document, args.name));
  TOutput output;
  output.Write(contents);
  output.Flush();
}

}  // namespace

void AddCatCommand(CLI::App& app) {
  auto args = std::make_shared<CatArgs>();
  auto* command = app.add_subcommand("cat", "Write one entry's contents to stdout");
  command->add_option("FILE", args->file, "Document")->required();
  command
      ->add_option("NAME", args->name,
                   "Archive path of the entry, e.g. images\\help.jpg or images/help.jpg")
      ->required();
  command->callback([args] { RunCat(*args); });
}

}  // namespace tomelet::cli
