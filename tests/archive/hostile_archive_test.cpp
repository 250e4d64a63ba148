#include <functional>

#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

const Bytes kData = ToBytes("0123456789abcdef");

// An archive over kData whose registry holds the given records; count, registry size and data
// size are taken from the parts unless overridden.
struct Crafted {
  std::vector<Bytes> records;
  bool compressed = false;
  std::optional<std::int32_t> count;
  std::optional<std::int32_t> registrySize;
  std::optional<std::int64_t> dataSize;
  std::function<void(Bytes&)> damageRegistry;

  Bytes Build() const {
    Bytes registry = Concat({});
    for (const Bytes& record : records) {
      registry.insert(registry.end(), record.begin(), record.end());
    }
    if (compressed) {
      registry = Deflated(registry);
    }
    if (damageRegistry) {
      damageRegistry(registry);
    }
    const auto regSize = static_cast<std::int32_t>(registry.size());
    return Concat({kData, registry,
                   Trailer(0, count.value_or(static_cast<std::int32_t>(records.size())), 2,
                           registrySize.value_or(regSize), dataSize.value_or(16), compressed)});
  }
};

struct HostileCase {
  std::string label;
  Crafted archive;
  std::string openMessage;     // "" when opening succeeds
  std::string extractMessage;  // of entry 0, when opening succeeds
};

std::ostream& operator<<(std::ostream& out, const HostileCase& c) {
  return out << c.label;
}

Bytes Entry(std::int64_t size, std::int64_t offset, std::uint8_t method) {
  return Record("e", "", size, offset, 0, method);
}

class HostileArchive : public ArchiveTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileArchive, FailsWithTheArchiveMessageAndNothingWorse) {
  arc_.VerifyArchiveCRC = false;
  const std::string path = WriteBytes("hostile.tlt", GetParam().archive.Build());
  const std::string openMessage = MessageOf([&] { arc_.OpenArchive(path); });
  ASSERT_EQ(openMessage, GetParam().openMessage);
  if (!openMessage.empty()) {
    EXPECT_EQ(arc_.ArchiveFileName(), "");
    return;
  }
  for (const bool withProgress : {false, true}) {
    arc_.OnProgress = withProgress ? [](const std::string&, int) {} : TProgressEvent();
    TMemoryStream dest;
    EXPECT_EQ(MessageOf([&] { arc_.ExtractEntry(0, dest); }), GetParam().extractMessage);
    EXPECT_LE(dest.Size(), 1 << 20);
  }
}

const std::string kRegistryError = "Error reading registry";
const std::string kCorrupted = "The archive appears to be corrupted";

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileArchive,
    ::testing::Values(
        HostileCase{"HugeCountPlain",
                    {.records = {Entry(1, 0, 1)}, .count = 0x7FFFFFFF},
                    kRegistryError,
                    ""},
        HostileCase{"HugeCountCompressed",
                    {.records = {Entry(1, 0, 1)}, .compressed = true, .count = 0x7FFFFFFF},
                    kRegistryError,
                    ""},
        HostileCase{
            "NegativeCount", {.records = {Entry(1, 0, 1)}, .count = -1}, kRegistryError, ""},
        HostileCase{"RegistrySizeBeyondFile",
                    {.records = {Entry(1, 0, 1)}, .registrySize = 1 << 30},
                    kRegistryError,
                    ""},
        HostileCase{"NegativeRegistrySize",
                    {.records = {Entry(1, 0, 1)}, .registrySize = -600},
                    kRegistryError,
                    ""},
        HostileCase{"DataSizeBeyondFile",
                    {.records = {Entry(1, 0, 1)}, .dataSize = 1LL << 40},
                    kRegistryError,
                    ""},
        HostileCase{
            "NegativeDataSize", {.records = {Entry(1, 0, 1)}, .dataSize = -16}, kRegistryError, ""},
        HostileCase{"PlainRegistryEndsEarly",
                    {.records = {Entry(1, 0, 1)}, .count = 2},
                    kRegistryError,
                    ""},
        HostileCase{"CompressedRegistryEndsEarly",
                    {.records = {Entry(1, 0, 1)}, .compressed = true, .count = 2},
                    kRegistryError,
                    ""},
        HostileCase{"CompressedRegistryCut",
                    {.records = {Entry(1, 0, 1)},
                     .compressed = true,
                     .damageRegistry = [](Bytes& r) { r.resize(r.size() / 2); }},
                    kRegistryError,
                    ""},
        HostileCase{"CompressedRegistryGarbage",
                    {.records = {Entry(1, 0, 1)},
                     .compressed = true,
                     .damageRegistry =
                         [](Bytes& r) { std::fill(r.begin() + 2, r.end(), std::byte{0xFF}); }},
                    kRegistryError,
                    ""},
        HostileCase{"OffsetBeyondData", {.records = {Entry(1, 17, 1)}}, "", kCorrupted},
        HostileCase{"NegativeOffset", {.records = {Entry(1, -4, 1)}}, "", kCorrupted},
        HostileCase{"StoredRunsPastData", {.records = {Entry(10, 8, 1)}}, "", kCorrupted},
        HostileCase{"StoredHugeSize", {.records = {Entry(1LL << 60, 0, 1)}}, "", kCorrupted},
        HostileCase{"DeflatedGarbage", {.records = {Entry(100, 0, 0)}}, "", kCorrupted},
        HostileCase{"DeflatedHugeSize",
                    {.records = {Record("e", "", 1LL << 50, 0, 0, 0, 16)}},
                    "",
                    kCorrupted}),
    [](const auto& info) { return info.param.label; });

TEST_F(HostileArchive, ShortValidStreamWithAHugeClaimEndsAtOnce) {
  const Bytes packed = Deflated(ToBytes("tiny"));
  TZLBArchiveWriter writer;
  writer.AddRawEntry({.FileName = "bomb",
                      .OriginalSize = 1LL << 50,
                      .CompressedSize = static_cast<std::int64_t>(packed.size())},
                     packed);
  ASSERT_TRUE(arc_.OpenArchive(WriteArchive(writer)));
  TMemoryStream dest;
  EXPECT_EQ(MessageOf([&] { arc_.ExtractToStream(dest, "bomb"); }), kCorrupted);
  EXPECT_EQ(dest.View(), "tiny");
}

}  // namespace
}  // namespace tomelet::test
