// tomelet verify: the archive's CRC and every entry's CRC.
#include <CLI/CLI.hpp>
#include <memory>

#include "ZLIBArchive2/ZLIBArchive2.h"
#include "tools/tomelet/CommandSupport.h"

namespace tomelet::cli {
namespace {

void RunVerify(const std::string& file) {
  TZLBArc2 arc;
  arc.VerifyArchiveCRC = true;
  OpenDocument(arc, file);
  TFileStream archive(arc.ArchiveFileName(), TFileStream::Mode::Read);
  std::int64_t bytes = 0;
  for (int i = 0; i < arc.EntryCount(); ++i) {
    TCheckingSink contents;
    ExtractChecked(arc, i, contents, &archive);
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
