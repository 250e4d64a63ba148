// tomelet pack: a folder, its options and its logo as one document.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/DocumentEntries.h"
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

const std::map<std::string, TFileCompressionLevel> kLevels = {
    {"none", fcNone}, {"fastest", fcFastest}, {"default", fcDefault}, {"maximum", fcMaximum}};

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

void AddFiles(TZLBArchiveWriter& writer, const std::vector<PackFile>& files,
              TFileCompressionLevel level, search::TIndexBuilder* index,
              search::TDocumentMapBuilder& map) {
  std::uintmax_t total = 0;
  for (const auto& file : files) {
    total += file.size;
  }
  TProgressBar progress(files.size(), total);
  for (const auto& file : files) {
    const auto contents = ReadWholeFile(file.source);
    const std::string_view html(reinterpret_cast<const char*>(contents.data()), contents.size());
    if (index != nullptr && search::IsHtmlPageName(file.archivePath)) {
      index->AddPage(file.archivePath, html);
    }
    map.AddPage(file.archivePath, html);
    writer.AddEntry(file.archivePath, contents, level);
    progress.Advance(file.size);
  }
}

void RunPack(const PackArgs& args) {
  RemoveLeftoversOnInterrupt();
  CheckOutputTarget(args.out);
  const auto level = kLevels.at(args.level);
  const auto warn = [](const std::string& note) {
    std::fprintf(stderr, "warning: %s\n", note.c_str());
  };
  const auto files = CollectPackFiles(args.folder, args.out, args.selection, warn);
  auto options = PackOptions(args.options, files, warn);
  NameLogo(options, args.logo);
  const auto map = MakePackMapBuilder(files, options.StartPage(), args.contents, warn);
  // The builder indexes pages on threads of its own while the entries are deflated.
  std::unique_ptr<search::TIndexBuilder> index;
  if (!args.noIndex) {
    index = MakePackIndexBuilder(files, options.StartPage(), args.language);
  }
  // One deflating thread per core; the document's bytes do not depend on the count.
  TZLBArchiveWriter writer({.Threads = std::max(1u, std::thread::hardware_concurrency())});
  AddFiles(writer, files, level, index.get(), *map);
  writer.AddEntry(kConfigEntry, options.Bytes(), level);
  if (!args.logo.empty()) {
    writer.AddEntry(kLogoEntry, ReadWholeFile(args.logo), level);
  }
  const std::string mapEntry = FinishPackMap(*map, files);
  writer.AddEntry(kMapEntry, std::string_view(mapEntry), level);
  if (index) {
    // Stored, never deflated: the index is opened in place inside the document.
    writer.AddEntry(kIndexEntry, index->Finish(), fcNone);
  }
  WriteDocument(writer, args.out, args.stub);
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
