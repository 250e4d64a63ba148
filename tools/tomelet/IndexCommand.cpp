// tomelet index: adds the search index to an existing document, or replaces the one it has.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "ZLIBArchive2/EntryChecks.h"
#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/Document.h"
#include "import/DocumentWriting.h"
#include "platform/cleanup/Leftovers.h"
#include "platform/text/AsciiCase.h"
#include "search/DocumentIndex.h"
#include "tools/tomelet/CommandSupport.h"
#include "tools/tomelet/SearchIndexing.h"

namespace tomelet::cli {
namespace {

struct IndexArgs {
  std::string file;
  std::string language;
};

// An entry's bytes exactly as stored, to be written into the new archive unchanged.
std::vector<std::byte> StoredBytes(const TArchiveSnapshot& archive, int index) {
  const TStoredBlock block = archive.StoredBlock(index);
  std::vector<std::byte> bytes(static_cast<std::size_t>(block.Length));
  if (archive.ReadAt(block.FileOffset, bytes) != bytes.size()) {
    RaiseCorrupted();
  }
  return bytes;
}

void RunIndex(const IndexArgs& args) {
  RemoveLeftoversOnInterrupt();
  const auto document = OpenDocument(args.file);
  const TArchiveSnapshot& archive = FormatOf(*document);
  const auto index = search::BuildArchiveIndex(*document, document->StartPagePath(),
                                               {args.language}, IndexingProgress());
  // Every other entry is written back exactly as stored, so re-writing changes nothing else.
  TZLBArchiveWriter writer;
  for (int i = 0; i < archive.EntryCount(); ++i) {
    const TEntryView entry = archive.Entry(i);
    if (!EqualsFoldedAscii(entry.ArchivePath(), kIndexEntry)) {
      writer.AddRawEntry(entry.Record(), StoredBytes(archive, i));
    }
  }
  writer.AddEntry(kIndexEntry, index, fcNone);
  if (!document->IsUnchanged()) {
    throw std::runtime_error(args.file + " changed while it was indexed");
  }
  importer::ReplaceDocument(writer, *document, args.file);
  std::printf("Indexed %s: search index of %zu bytes\n", args.file.c_str(), index.size());
}

}  // namespace

void AddIndexCommand(CLI::App& app) {
  auto args = std::make_shared<IndexArgs>();
  auto* command = app.add_subcommand("index", "Add or replace the search index of a document");
  command->add_option("FILE", args->file, "Document")->required();
  command->add_option("--language", args->language,
                      "Language of the pages for the stemmer (default: the start page's lang)");
  command->callback([args] { RunIndex(*args); });
}

}  // namespace tomelet::cli
