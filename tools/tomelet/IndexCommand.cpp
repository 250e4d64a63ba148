// tomelet index: adds the search index to an existing document, or replaces the one it has.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/DocumentEntries.h"
#include "platform/cleanup/Leftovers.h"
#include "search/DocumentIndex.h"
#include "tools/tomelet/CommandSupport.h"
#include "tools/tomelet/DocumentSearch.h"
#include "tools/tomelet/PackOutput.h"

namespace tomelet::cli {
namespace {

struct IndexArgs {
  std::string file;
  std::string language;
};

// The entry's bytes exactly as stored, so that re-writing the document changes nothing else.
std::vector<std::byte> StoredBytes(const TArchiveSnapshot& archive, const TEntryView& entry,
                                   std::int64_t archiveStart, std::int64_t dataSize) {
  const bool deflated = entry.Method == kMethodDeflated || entry.Method == kMethodDeflatedEncrypted;
  const std::int64_t length = deflated ? entry.CompressedSize : entry.OriginalSize;
  if (entry.Offset < 0 || length < 0 || entry.Offset > dataSize ||
      length > dataSize - entry.Offset) {
    throw EZLBArchiveError("The archive appears to be corrupted");
  }
  std::vector<std::byte> bytes(static_cast<std::size_t>(length));
  if (archive.ReadAt(archiveStart + entry.Offset, bytes) != bytes.size()) {
    throw EZLBArchiveError("The archive appears to be corrupted");
  }
  return bytes;
}

void RunIndex(const IndexArgs& args) {
  RemoveLeftoversOnInterrupt();
  TZLBArc2 arc;
  OpenDocument(arc, args.file);
  const std::int64_t archiveStart = arc.ArchivePosition(0);
  const std::int64_t dataSize = arc.Trailer().DataSize;
  arc.CloseArchive();

  const TArchiveSnapshot archive(args.file);
  const auto index = search::BuildArchiveIndex(archive, StartPageEntry(archive), {args.language},
                                               IndexingProgress());
  TZLBArchiveWriter writer;
  const std::string reserved = FoldArchivePath(kIndexEntry);
  for (int i = 0; i < archive.EntryCount(); ++i) {
    const TEntryView entry = archive.Entry(i);
    if (FoldArchivePath(entry.ArchivePath()) != reserved) {
      writer.AddRawEntry(entry.Record(), StoredBytes(archive, entry, archiveStart, dataSize));
    }
  }
  writer.AddEntry(kIndexEntry, index, fcNone);
  if (!archive.IsUnchanged()) {
    throw std::runtime_error(args.file + " changed while it was indexed");
  }
  ReplaceDocument(writer, args.file, archiveStart);
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
