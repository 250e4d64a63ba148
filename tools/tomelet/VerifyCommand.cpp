// tomelet verify: the archive's CRC and every entry's CRC.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "ZLIBArchive2/ZLIBArchive2.h"
#include "platform/text/Codepage.h"
#include "search/DocumentIndex.h"
#include "tools/tomelet/CommandSupport.h"

namespace tomelet::cli {
namespace {

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
  TFileStream archive(arc.ArchiveFileName(), TFileStream::Mode::Read);
  std::int64_t bytes = 0;
  for (int i = 0; i < arc.EntryCount(); ++i) {
    TCheckingSink contents;
    try {
      ExtractChecked(arc, i, contents, &archive);
    } catch (const EZLBArchiveError&) {
      // The reader's own text stays the last line; the line before names the entry.
      std::fprintf(stderr, "Damaged entry: %s\n",
                   DisplayText(arc.EntryAt(i).ArchivePath()).c_str());
      throw;
    }
    bytes += contents.Size();
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
