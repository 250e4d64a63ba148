// tomelet pack: a folder, its options and its logo as one document.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <optional>

#include "document/DocumentAddress.h"
#include "import/DocumentWriting.h"
#include "import/SphinxInventory.h"
#include "platform/cleanup/Leftovers.h"
#include "tools/tomelet/CommandSupport.h"
#include "tools/tomelet/OptionsJson.h"
#include "tools/tomelet/PackInput.h"
#include "tools/tomelet/PackMap.h"
#include "tools/tomelet/PackOptions.h"
#include "tools/tomelet/PackOutput.h"
#include "tools/tomelet/SearchIndexing.h"

namespace tomelet::cli {
namespace {

struct PackArgs {
  std::string folder;
  std::string out;
  std::string options;
  std::string logo;
  std::string stub;
  std::string contents;
  std::string level = "default";
  bool noIndex = false;
  std::string language;
  PackSelection selection;
};

std::vector<std::byte> ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw std::runtime_error("Cannot read " + path.string());
  }
  in.seekg(0, std::ios::end);
  std::vector<std::byte> bytes(static_cast<std::size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!in) {
    throw std::runtime_error("Cannot read " + path.string());
  }
  return bytes;
}

// The viewer takes a logo name as the promise of a "-logo-" entry, so the two go together.
void NameLogo(TProjectOptions& options, const std::string& logo) {
  const bool named = !options.LogoSource().empty();
  if (!logo.empty() && !named) {
    options.SetShortStringAt(option_offset::LogoSource,
                             std::filesystem::path(logo).filename().string());
  } else if (logo.empty() && named) {
    throw EOptionsError("Option \"LogoSource\" is set but no --logo icon was given");
  }
}

// A Sphinx build names every documented object with its role in objects.inv at its top.
std::optional<std::vector<TKeyword>> SphinxKeywords(
    const std::vector<PackFile>& files, const std::function<void(const std::string&)>& warn) {
  const auto inventory = std::find_if(files.begin(), files.end(), [](const PackFile& file) {
    return file.archivePath == "objects.inv";
  });
  if (inventory == files.end())
    return std::nullopt;
  try {
    const auto bytes = ReadWholeFile(inventory->source);
    return importer::ReadSphinxInventory(
        {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
  } catch (const std::runtime_error& e) {
    warn(std::string(e.what()) + "; its names are found in the pages instead");
    return std::nullopt;
  }
}

void AddFiles(importer::TDocumentWriting& writing, const std::vector<PackFile>& files) {
  std::uintmax_t total = 0;
  for (const auto& file : files) {
    total += file.size;
  }
  TProgressBar progress(files.size(), total);
  for (const auto& file : files) {
    writing.AddFile(file.archivePath, ReadWholeFile(file.source));
    progress.Advance(file.size);
  }
}

void RunPack(const PackArgs& args) {
  RemoveLeftoversOnInterrupt();
  importer::CheckOutputTarget(args.out);
  const auto warn = [](const std::string& note) {
    std::fprintf(stderr, "warning: %s\n", note.c_str());
  };
  const auto files = CollectPackFiles(args.folder, args.out, args.selection, warn);
  auto options = PackOptions(args.options, files, warn);
  NameLogo(options, args.logo);
  auto contents = ReadPackContents(files, args.contents, warn);
  const auto index = PackIndexSettings(files, options.StartPageOption(), args.language);
  importer::TDocumentWriting writing(
      {.Level = CompressionLevel(args.level),
       .Index = !args.noIndex,
       .Language = index.Language,
       .PageCount = index.PageCount,
       .StartPagePath = StartPageArchivePath(options.StartPageOption())});
  if (contents)
    writing.SetContents(std::move(*contents));
  if (auto keywords = SphinxKeywords(files, warn))
    writing.SetKeywords(std::move(*keywords));
  AddFiles(writing, files);
  const auto logo = args.logo.empty() ? std::vector<std::byte>() : ReadWholeFile(args.logo);
  writing.Finish(options, logo, PackPageReader(files), args.out, args.stub);
}

}  // namespace

void AddPackCommand(CLI::App& app) {
  auto args = std::make_shared<PackArgs>();
  auto* command = app.add_subcommand("pack", "Pack a folder into a document");
  command->add_option("DIR", args->folder, "Folder holding the document's files")->required();
  command->add_option("-o,--output", args->out, "Document to write, - for standard output")
      ->required();
  command->add_option("--options", args->options,
                      "Project options as JSON (keys as `info`, or its --json output as it is)");
  command->add_option("--logo", args->logo, "Icon stored as the document's logo");
  command->add_option("--stub", args->stub, "Executable to prepend (the result is executable)");
  command->add_option("--level", args->level, "Compression level")
      ->check(CLI::IsMember({"none", "fastest", "default", "maximum"}));
  command->add_flag("--hidden", args->selection.keepHidden,
                    "Pack files and folders whose names begin with \".\" too");
  command
      ->add_option("--exclude", args->selection.exclude,
                   "Leave out paths matching this shell pattern (\"/\" between folders; "
                   "may be repeated)")
      ->allow_extra_args(false)
      ->type_name("PATTERN");
  command->add_option("--contents", args->contents,
                      "Table of contents as JSON or as an HTML nested list of links (default: "
                      "found in the pages)");
  command->add_flag("--no-index", args->noIndex, "Leave the search index out");
  command->add_option("--language", args->language,
                      "Language of the pages for the search index's stemmer (default: the start "
                      "page's lang, else English)");
  command->callback([args] { RunPack(*args); });
}

}  // namespace tomelet::cli
