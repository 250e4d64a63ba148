#include <functional>

#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

// An archive over 16 data bytes whose registry holds the given records; count, registry size
// and data size come from the parts unless a case overrides them.
struct Crafted {
  std::vector<Bytes> records;
  bool compressed = false;
  std::optional<std::int32_t> count, registrySize;
  std::optional<std::int64_t> dataSize;
  std::function<void(Bytes&)> damage;

  Bytes Build() const {
    Bytes registry;
    for (const Bytes& record : records) {
      registry.insert(registry.end(), record.begin(), record.end());
    }
    registry = compressed ? Deflated(registry) : registry;
    if (damage) {
      damage(registry);
    }
    return Concat({ToBytes("0123456789abcdef"), registry,
                   Trailer(count.value_or(static_cast<std::int32_t>(records.size())), 2,
                           registrySize.value_or(static_cast<std::int32_t>(registry.size())),
                           dataSize.value_or(16), compressed)});
  }
};

struct HostileCase {
  std::string label;
  Crafted archive;
  std::string message;  // of OpenArchive, or of extracting entry 0 when opening succeeds
};

Bytes Entry(std::int64_t size, std::int64_t offset, int method, std::int64_t compressed = 0) {
  return Record("e", "", size, offset, 0, method, compressed);
}

class HostileArchive : public ArchiveTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileArchive, FailsWithTheArchiveMessageAndNothingWorse) {
  arc_.VerifyArchiveCRC = false;
  const std::string path = WriteBytes("hostile.tlt", GetParam().archive.Build());
  const std::string openMessage = MessageOf([&] { arc_.OpenArchive(path); });
  if (!openMessage.empty()) {
    EXPECT_EQ(openMessage, GetParam().message);
    EXPECT_EQ(arc_.ArchiveFileName(), "");
    return;
  }
  for (const bool withProgress : {false, true}) {
    arc_.OnProgress = withProgress ? [](const std::string&, int) {} : TProgressEvent();
    TMemoryStream dest;
    EXPECT_EQ(MessageOf([&] { arc_.ExtractEntry(0, dest); }), GetParam().message);
    EXPECT_LE(dest.Size(), 16);
  }
  // The piecewise reader meets the damage at its opening or at the read that reaches it.
  const std::string readMessage = MessageOf([&] {
    const auto reader = arc_.Snapshot()->OpenUncheckedContents(0, 0);
    Bytes piece(16);
    while (reader->Read(piece) != 0) {
    }
  });
  EXPECT_EQ(readMessage, GetParam().message);
}

const std::string kRegistry = "Error reading registry";
const std::string kCorrupted = "The archive appears to be corrupted";
const std::string kTooLarge =
    "The archive's registry is larger than this program reads (at most 1000000 entries and 128 "
    "MiB of entry names)";
const Bytes kOne = Entry(1, 0, 1);

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileArchive,
    ::testing::Values(
        HostileCase{"HugeCountPlain", {.records = {kOne}, .count = 0x7FFFFFFF}, kTooLarge},
        HostileCase{"HugeCountCompressed",
                    {.records = {kOne}, .compressed = true, .count = 0x7FFFFFFF},
                    kTooLarge},
        HostileCase{"JustPastTheEntryLimit",
                    {.records = {kOne}, .compressed = true, .count = 1'000'001},
                    kTooLarge},
        HostileCase{"AtTheEntryLimitButShort",
                    {.records = {kOne}, .compressed = true, .count = 1'000'000},
                    kRegistry},
        HostileCase{"NegativeCount", {.records = {kOne}, .count = -1}, kRegistry},
        HostileCase{"RegistryBeyondFile", {.records = {kOne}, .registrySize = 1 << 30}, kRegistry},
        HostileCase{"NegativeRegistrySize", {.records = {kOne}, .registrySize = -600}, kRegistry},
        HostileCase{"DataBeyondFile", {.records = {kOne}, .dataSize = 1LL << 40}, kRegistry},
        HostileCase{"NegativeDataSize", {.records = {kOne}, .dataSize = -16}, kRegistry},
        HostileCase{"PlainRegistryEndsEarly", {.records = {kOne}, .count = 2}, kRegistry},
        HostileCase{"InflatedRegistryEndsEarly",
                    {.records = {kOne}, .compressed = true, .count = 2},
                    kRegistry},
        HostileCase{"CompressedRegistryCut",
                    {.records = {kOne},
                     .compressed = true,
                     .damage = [](Bytes& r) { r.resize(r.size() / 2); }},
                    kRegistry},
        HostileCase{"NoEntries", {}, "Index out of bounds"},
        HostileCase{"OffsetBeyondData", {.records = {Entry(1, 17, 1)}}, kCorrupted},
        HostileCase{"NegativeOffset", {.records = {Entry(1, -4, 0)}}, kCorrupted},
        HostileCase{"StoredRunsPastData", {.records = {Entry(10, 8, 1)}}, kCorrupted},
        HostileCase{"StoredHugeSize", {.records = {Entry(1LL << 60, 0, 1)}}, kCorrupted},
        HostileCase{"DeflatedGarbage", {.records = {Entry(100, 0, 0)}}, kCorrupted},
        HostileCase{"DeflatedHugeSize", {.records = {Entry(1LL << 50, 0, 0, 16)}}, kCorrupted}),
    [](const auto& info) { return info.param.label; });

TEST_F(HostileArchive, ShortValidStreamWithAHugeClaimEndsAtOnce) {
  ASSERT_TRUE(arc_.OpenArchive(
      WriteArchive(TTestDocument().Claiming("bomb", Deflated("tiny"), 1LL << 50))));
  TMemoryStream dest;
  EXPECT_EQ(MessageOf([&] { arc_.ExtractToStream(dest, "bomb"); }), kCorrupted);
  EXPECT_EQ(dest.View(), "tiny");
  // No stream of that length inflates so far, so the piecewise reader refuses it from the start.
  EXPECT_EQ(MessageOf([&] { arc_.Snapshot()->OpenContents(0); }), kCorrupted);
}

TEST_F(HostileArchive, StoredDataEndingEarlyInAGivenStreamRaisesTheReadError) {
  const auto document = TTestDocument().Stored("a.bin", SampleText(100));
  ASSERT_TRUE(arc_.OpenArchive(WriteArchive(document)));
  TMemoryStream shortened;
  const Bytes whole = document.Bytes();
  shortened.Write(std::span(whole).first(60));
  for (const bool toMemory : {true, false}) {
    TMemoryStream memory;
    TFileStream file(PathOf("out"), TFileStream::Mode::Create);
    TStream& dest = toMemory ? static_cast<TStream&>(memory) : file;
    EXPECT_EQ(MessageOf([&] { arc_.ExtractEntry(0, dest, &shortened); }), "Stream read error");
    EXPECT_LE(dest.Size(), 60);
  }
}

}  // namespace
}  // namespace tomelet::test
