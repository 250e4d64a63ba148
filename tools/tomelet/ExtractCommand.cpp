// tomelet extract: entries written below a folder, with their folders.
#include <fnmatch.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <iterator>
#include <memory>
#include <unordered_set>

#include "document/Document.h"
#include "platform/cleanup/Leftovers.h"
#include "platform/text/Codepage.h"
#include "platform/text/ShownText.h"
#include "tools/tomelet/CommandSupport.h"
#include "tools/tomelet/EntryPath.h"
#include "tools/tomelet/EntryPrefetch.h"
#include "tools/tomelet/ExtractionFolder.h"

namespace tomelet::cli {
namespace {

constexpr std::size_t kWritePiece = std::size_t{1} << 20;

struct ExtractArgs {
  std::string file;
  std::string folder = ".";
  std::vector<std::string> names;
};

struct PlannedFile {
  int index;
  std::vector<std::string> components;
};

bool IsPattern(const std::string& name) {
  return name.find_first_of("*?[") != std::string::npos;
}

// Shell-style patterns match the archive path with "/" between folders, letter case ignored; a
// "*" crosses folders, so "*.htm" finds the pages of every folder.
void AddMatches(const TDocument& document, const std::string& pattern, std::vector<int>& indices) {
  const std::size_t before = indices.size();
  for (int i = 0; i < document.EntryCount(); ++i) {
    std::string path = DisplayText(document.Entry(i).ArchivePath());
    if (IsReservedEntry(path))
      continue;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (::fnmatch(pattern.c_str(), path.c_str(), FNM_CASEFOLD) == 0)
      indices.push_back(i);
  }
  if (indices.size() == before)
    throw EZLBArchiveError(pattern + " not found in archive");
}

// "extract doc.tlt outdir" reads outdir as an entry's name; a name that is not found and looks like
// a folder (one on disk, or a name without an extension) is answered with where a folder goes.
int NamedEntryOrFolderHint(const TDocument& document, const std::string& name) {
  try {
    return NamedEntry(document, name);
  } catch (const EZLBArchiveError& error) {
    std::error_code ec;
    const std::filesystem::path path(name);
    if (!std::filesystem::is_directory(path, ec) && path.has_extension()) {
      throw;
    }
    throw EZLBArchiveError(std::string(error.what()) + " (to extract into the folder " + name +
                           ", give it as -C " + name + ")");
  }
}

// Without names, every page of the document; the reserved entries (options, icon, index) belong
// to the document, not to its folder, and a folder extracted whole packs again as it is.
std::vector<int> SelectEntries(const TDocument& document, const std::vector<std::string>& names) {
  std::vector<int> indices;
  if (names.empty()) {
    for (int i = 0; i < document.EntryCount(); ++i) {
      if (!IsReservedEntry(document.Entry(i).ArchivePath()))
        indices.push_back(i);
    }
    return indices;
  }
  for (const auto& name : names) {
    if (IsPattern(name) && !FindNamedEntry(document, name).Found())
      AddMatches(document, name, indices);
    else
      indices.push_back(NamedEntryOrFolderHint(document, name));
  }
  return indices;
}

std::string DiskPath(const std::vector<std::string>& components) {
  std::string joined;
  for (const auto& component : components) {
    joined.append(joined.empty() ? "" : "/").append(component);
  }
  return joined;
}

// An entry whose file would stand where another entry needs a folder cannot be written whole.
void RefuseFileFolderClashes(const TDocument& document, const std::vector<PlannedFile>& plan) {
  std::unordered_set<std::string> folders;
  for (const auto& file : plan) {
    std::string folder;
    for (std::size_t i = 0; i + 1 < file.components.size(); ++i) {
      folder.append(folder.empty() ? "" : "/").append(file.components[i]);
      folders.insert(folder);
    }
  }
  for (const auto& file : plan) {
    if (folders.contains(DiskPath(file.components))) {
      throw EUnsafeEntryName("Refusing to extract \"" +
                             ShownName(document.Entry(file.index).ArchivePath()) +
                             "\": another entry needs a folder of that name");
    }
  }
}

// Every name is checked before the first byte is written. A later entry that lands on the same
// file as an earlier one is left out, as lookups only ever reach the first.
std::vector<PlannedFile> PlanFiles(const TDocument& document, const std::vector<int>& indices) {
  std::vector<PlannedFile> plan;
  plan.reserve(indices.size());
  std::unordered_set<std::string> seen;
  for (const int index : indices) {
    auto components = ExtractionPath(document.Entry(index).ArchivePath());
    if (seen.insert(DiskPath(components)).second) {
      plan.push_back({index, std::move(components)});
    }
  }
  RefuseFileFolderClashes(document, plan);
  return plan;
}

std::vector<int> PlannedIndices(const std::vector<PlannedFile>& plan) {
  std::vector<int> indices;
  indices.reserve(plan.size());
  for (const auto& file : plan) {
    indices.push_back(file.index);
  }
  return indices;
}

void RunExtract(const ExtractArgs& args) {
  RemoveLeftoversOnInterrupt();
  const auto document = OpenDocument(args.file);
  const auto plan = PlanFiles(*document, SelectEntries(*document, args.names));
  TExtractionFolder folder(args.folder);
  for (const auto& file : plan) {
    folder.CheckPlace(file.components);
  }
  TEntryPrefetch prefetch(*document, PlannedIndices(plan));
  std::vector<std::byte> buffer(kWritePiece);
  for (const auto& file : plan) {
    const auto contents = prefetch.Next();
    const TDescriptor written = folder.Stage(file.components);
    while (const std::size_t got = contents->Read(buffer)) {
      WriteAll(written.Get(), std::span(buffer).first(got));
    }
  }
  folder.Commit();
}

}  // namespace

void AddExtractCommand(CLI::App& app) {
  auto args = std::make_shared<ExtractArgs>();
  auto* command = app.add_subcommand("extract", "Write entries below a folder");
  command->add_option("FILE", args->file, "Document")->required();
  command->add_option("NAME", args->names,
                      "Archive paths or shell patterns ('*.htm', 'guide/*') of the entries "
                      "(default: every page)");
  command->add_option("-C,--directory", args->folder, "Folder to write into (default: .)");
  command->callback([args] { RunExtract(*args); });
}

}  // namespace tomelet::cli
