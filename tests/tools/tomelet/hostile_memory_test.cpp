// Documents that claim far more than they hold: the tool's memory follows what the streams
// really produce, never the sizes the records claim.
#include <gtest/gtest.h>

#include "tests/support/ArchiveBytes.h"
#include "tests/support/TestDocument.h"
#include "tool_process.h"

namespace tomelet::testing {
namespace {

constexpr long kPeakLimitKilobytes = 128 * 1024;

// A 512 KiB stream whose record claims a thousand times its size (about 500 MB).
std::filesystem::path WriteInflatedClaim(const TScratchFolder& folder) {
  const auto stream = Deflated(NoiseBytes(512 * 1024, 7), Z_BEST_SPEED);
  const auto claimed = static_cast<std::int64_t>(stream.size()) * 1000;
  return TTestDocument().Claiming("big.htm", stream, claimed).WriteTo(folder / "claim.tlt");
}

TEST(HostileMemory, AnEntryClaimingAThousandTimesItsStreamCostsOnlyWhatTheStreamGives) {
  const TScratchFolder folder;
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
