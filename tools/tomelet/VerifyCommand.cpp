// tomelet verify: the archive's CRC and every entry's CRC.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <numeric>
#include <vector>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "ZLIBArchive2/ZLIBArchive2.h"
#include "platform/text/Codepage.h"
#include "search/DocumentIndex.h"
#include "tools/tomelet/CommandSupport.h"
#include "tools/tomelet/EntryPrefetch.h"

namespace tomelet::cli {
namespace {

constexpr std::size_t kReadPiece = std::size_t{1} << 20;

// The search index, when the document carries one, must open and read back without a fault.
void AppendIndexCheck(std::string& out, const std::string& file) {
  const TArchiveSnapshot archive(file);
  const auto index = search::OpenEmbeddedIndex(archive);
  if (index) {
    index->Check();
    out.append("OK: search index of ");
    AppendNumber(out, static_cast<std::int64_t>(index->PageCount()));
    out.append(" pages\n");
  }
}

void RunVerify(const std::string& file) {
  TZLBArc2 arc;
  arc.VerifyArchiveCRC = true;
  OpenDocument(arc, file);
  arc.VerifyFileCRC = true;
  std::vector<int> everyEntry(static_cast<std::size_t>(arc.EntryCount()));
  std::iota(everyEntry.begin(), everyEntry.end(), 0);
  TEntryPrefetch prefetch(arc, std::move(everyEntry));
  std::vector<std::byte> piece(kReadPiece);
  std::int64_t bytes = 0;
  for (int i = 0; i < arc.EntryCount(); ++i) {
    try {
      const auto contents = prefetch.Next();
      while (const std::size_t got = contents->Read(piece)) {
        bytes += static_cast<std::int64_t>(got);
      }
    } catch (const EZLBArchiveError&) {
      // The reader's own text stays the last line; the line before names the entry.
      std::fprintf(stderr, "Damaged entry: %s\n",
                   DisplayText(arc.EntryAt(i).ArchivePath()).c_str());
      throw;
    }
  }
  TOutput output;
  auto& out = output.Text();
  out.append("OK: ");
  AppendNumber(out, arc.EntryCount());
  out.append(" entries, ");
  AppendNumber(out, bytes);
  out.append(" bytes, archive CRC ");
  AppendHex8(out, arc.Trailer().ArchiveCRC);
  out.push_back('\n');
  AppendIndexCheck(out, file);
  output.Flush();
}

}  // namespace

void AddVerifyCommand(CLI::App& app) {
  auto file = std::make_shared<std::string>();
  auto* command =
      app.add_subcommand("verify", "Check the archive's CRC and the CRC of every entry");
  command->add_option("FILE", *file, "Document")->required();
  command->callback([file] { RunVerify(*file); });
}

}  // namespace tomelet::cli
