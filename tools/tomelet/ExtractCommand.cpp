// tomelet extract: entries written below a folder, with their folders.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <iterator>
#include <memory>
#include <unordered_set>

#include "ZLIBArchive2/ZLIBArchive2.h"
#include "document/DocumentEntries.h"
#include "search/SearchIndex.h"
#include "tools/tomelet/CommandSupport.h"
#include "tools/tomelet/EntryPath.h"
#include "tools/tomelet/ExtractionFolder.h"

namespace tomelet::cli {
namespace {

struct ExtractArgs {
  std::string file;
  std::string folder = ".";
  std::vector<std::string> names;
};

struct PlannedFile {
  int index;
  std::vector<std::string> components;
};

// The first entry in registry order whose archive path matches name, as lookups match.
int FindEntry(const TZLBArc2& arc, const std::string& name) {
  const auto folded = FoldArchivePath(name);
  for (int i = 0; i < arc.EntryCount(); ++i) {
    const auto& entry = arc.EntryAt(i);
    if (entry.Path.size() + entry.FileName.size() == folded.size() &&
        FoldArchivePath(entry.ArchivePath()) == folded) {
      return i;
    }
  }
  throw EZLBArchiveError(name + " not found in archive");
}

std::vector<int> SelectEntries(const TZLBArc2& arc, const std::vector<std::string>& names) {
  std::vector<int> indices;
  if (names.empty()) {
    // The search index belongs to the document, not to its pages: a folder extracted whole
    // packs again without it (and would be refused with it).
    const std::string index = FoldArchivePath(kIndexEntry);
    for (int i = 0; i < arc.EntryCount(); ++i) {
      if (FoldArchivePath(arc.EntryAt(i).ArchivePath()) != index) {
        indices.push_back(i);
      }
    }
  } else {
    std::transform(names.begin(), names.end(), std::back_inserter(indices),
                   [&](const std::string& name) { return FindEntry(arc, name); });
  }
  return indices;
}

// Every name is checked before the first byte is written. A later entry with the same path
// as an earlier one is left out, as lookups only ever reach the first.
std::vector<PlannedFile> PlanFiles(const TZLBArc2& arc, const std::vector<int>& indices) {
  std::vector<PlannedFile> plan;
  plan.reserve(indices.size());
  std::unordered_set<std::string> seen;
  for (const int index : indices) {
    const auto archivePath = arc.EntryAt(index).ArchivePath();
    auto components = ExtractionPath(archivePath);
    if (seen.insert(archivePath).second) {
      plan.push_back({index, std::move(components)});
    }
  }
  return plan;
}

void RunExtract(const ExtractArgs& args) {
  TZLBArc2 arc;
  arc.VerifyArchiveCRC = false;
  arc.VerifyFileCRC = true;
  OpenDocument(arc, args.file);
  const auto plan = PlanFiles(arc, SelectEntries(arc, args.names));
  TExtractionFolder folder(args.folder);
  TFileStream archive(arc.ArchiveFileName(), TFileStream::Mode::Read);
  TMemoryStream contents;
  for (const auto& file : plan) {
    contents.Clear();
    arc.ExtractEntry(file.index, contents, &archive);
    folder.WriteFile(file.components, contents.Bytes());
  }
}

}  // namespace

void AddExtractCommand(CLI::App& app) {
  auto args = std::make_shared<ExtractArgs>();
  auto* command = app.add_subcommand("extract", "Write entries below a folder");
  command->add_option("FILE", args->file, "Document")->required();
  command->add_option("NAME", args->names, "Archive paths of the entries (default: all)");
  command->add_option("-C,--directory", args->folder, "Folder to write into (default: .)");
  command->callback([args] { RunExtract(*args); });
}

}  // namespace tomelet::cli
