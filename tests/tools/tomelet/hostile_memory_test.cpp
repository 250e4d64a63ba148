// Documents that claim far more than they hold: the tool's memory follows what the streams
// really produce, never the sizes the records claim.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "document_fixture.h"
#include "tool_process.h"

namespace tomelet::testing {
namespace {

constexpr long kPeakLimitKilobytes = 128 * 1024;

std::string Incompressible(std::size_t size) {
  std::mt19937 random(7);
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    c = static_cast<char>(random());
  }
  return bytes;
}

std::vector<std::byte> Deflated(std::string_view plain) {
  uLongf length = compressBound(static_cast<uLong>(plain.size()));
  std::vector<std::byte> out(length);
  compress2(reinterpret_cast<Bytef*>(out.data()), &length,
            reinterpret_cast<const Bytef*>(plain.data()), static_cast<uLong>(plain.size()), 1);
  out.resize(length);
  return out;
}

// A 512 KiB stream whose record claims a thousand times its size (about 500 MB).
std::filesystem::path WriteInflatedClaim(const TempFolder& folder) {
  const auto stream = Deflated(Incompressible(512 * 1024));
  const auto compressed = static_cast<std::int64_t>(stream.size());
  TArchiveEntry entry;
  entry.FileName = "big.htm";
  entry.OriginalSize = compressed * 1000;
  entry.CompressedSize = compressed;
  TZLBArchiveWriter writer;
  writer.AddRawEntry(entry, stream);
  const auto path = folder / "claim.tlt";
  writer.WriteFile(path.string());
  return path;
}

TEST(HostileMemory, AnEntryClaimingAThousandTimesItsStreamCostsOnlyWhatTheStreamGives) {
  const TempFolder folder;
  const auto document = WriteInflatedClaim(folder).string();
  const std::vector<std::vector<std::string>> commands = {
      {"cat", document, "big.htm"},
      {"verify", document},
      {"extract", document, "-C", (folder / "out").string()},
  };
  for (const auto& command : commands) {
    const ToolResult result = RunTool(command);
    EXPECT_EQ(result.exitCode, 1) << command[0];
    EXPECT_EQ(result.LastErrorLine(), "The archive appears to be corrupted") << command[0];
    EXPECT_LT(result.peakKilobytes, kPeakLimitKilobytes) << command[0];
  }
}

}  // namespace
}  // namespace tomelet::testing
