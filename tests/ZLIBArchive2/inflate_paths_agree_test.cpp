#include "ArchiveFixtures.h"
#include "ZLIBArchive2/ArchiveSnapshot.h"

namespace tomelet::test {
namespace {

const Bytes kPlain = ToBytes(SampleText(50000));
constexpr std::size_t kAny = SIZE_MAX;

// One deflated entry as some writer might have left it, and what extracting it must give.
struct InflateCase {
  std::string label;
  Bytes data;
  std::int64_t originalSize, compressedSize;
  // nullopt where damage may decode into other bytes that zlib accepts, since inflation stops
  // once the entry's size has come out.
  std::optional<std::string> message;
  std::size_t delivered;  // kAny where zlib decides how far it gets before the damage
};

Bytes FromHex(std::string_view hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::byte>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

// A stream whose Huffman code leaves a codeword unused and then reads it: zlib refuses it, while
// other inflaters read the codeword as the code's one symbol (2000 bytes from these 100).
const Bytes kUnusedCodeword = FromHex(
    "7801b329b02b484c4f5530b0d12fb0e3b281f20c4d50b84696285c1354595354"
    "597354590b345914938c0c51b8c666285c5354593354590b54594b54d9511f20"
    "45e7681c2092f6682a424a18e33919913046cb22a484315a9a2205c650aad100"
    "30873155");

std::vector<InflateCase> Cases() {
  const Bytes packed = Deflated(kPlain);
  const auto size = static_cast<std::int64_t>(packed.size());
  const auto plain = static_cast<std::int64_t>(kPlain.size());
  const std::string corrupted = "The archive appears to be corrupted";
  Bytes badCheck = packed;
  badCheck.back() ^= std::byte{0xFF};
  Bytes garbageTail = packed;
  std::fill(garbageTail.begin() + size / 2, garbageTail.end(), std::byte{0xA5});
  const Bytes storedBlocks = Deflated(kPlain, 0);
  return {
      {"Exact", packed, plain, size, "", kPlain.size()},
      {"TrailingBytes", Concat({packed, ToBytes("junk!")}), plain, size + 5, "", kPlain.size()},
      {"CompressedSizeZero", packed, plain, 0, "", kPlain.size()},
      {"CompressedSizeShort", packed, plain, size / 2, "", kPlain.size()},
      {"CompressedSizeBeyondArchive", packed, plain, 1LL << 40, "", kPlain.size()},
      {"StoredBlocks", storedBlocks, plain, static_cast<std::int64_t>(storedBlocks.size()), "",
       kPlain.size()},
      {"StreamShorterThanEntry", packed, plain + 10, size, corrupted, kPlain.size()},
      // An entry is its first OriginalSize bytes, whatever its stream holds beyond them.
      {"StreamLongerThanEntry", packed, 12345, size, "", 12345},
      {"BadCheckValue", badCheck, plain, size, corrupted, kAny},
      {"GarbageHalf", garbageTail, plain, size, std::nullopt, kAny},
      {"NotZlib", ToBytes(SampleText(3000)), plain, 3000, corrupted, 0},
      {"UnusedHuffmanCodeword", kUnusedCodeword, 2000, 100, std::nullopt, kAny},
  };
}

class InflatePathsAgree : public ArchiveTest, public ::testing::WithParamInterface<InflateCase> {
 protected:
  // Extracts entry 0 behind bytes already in Dest; returns the message and the new bytes.
  std::pair<std::string, std::string> ExtractAfterPrefix(bool withProgress) {
    arc_.OnProgress = withProgress ? [](const std::string&, int) {} : TProgressEvent();
    TMemoryStream dest;
    dest.Write(AsBytes("prefix"));
    const std::string message = MessageOf([&] { arc_.ExtractEntry(0, dest); });
    return {message, std::string(dest.View().substr(6))};
  }
  // The message of reading entry 0 whole through the piecewise reader of the reader's snapshot,
  // then through a snapshot opened on its own; like extraction here, neither checks the CRC.
  std::pair<std::string, std::string> ReadWhole() const {
    const auto readThrough = [](TEntryReader& reader) {
      std::vector<std::byte> piece(4096);
      while (reader.Read(piece) > 0) {
      }
    };
    return {
        MessageOf([&] { readThrough(*arc_.Snapshot()->OpenUncheckedContents(0, 0)); }),
        MessageOf([&] {
          readThrough(*TArchiveSnapshot::Open(arc_.ArchiveFileName())->OpenUncheckedContents(0, 0));
        })};
  }
};

TEST_P(InflatePathsAgree, EveryWayOfReadingGivesTheSameBytesAndMessage) {
  const InflateCase& c = GetParam();
  // The CRC of what the entry's size takes of the text, so that only inflation can fail.
  const auto sized = std::min<std::size_t>(static_cast<std::size_t>(c.originalSize), kPlain.size());
  ASSERT_TRUE(arc_.OpenArchive(
      WriteArchive(TTestDocument()
                       .RawEntry({.FileName = "entry",
                                  .OriginalSize = c.originalSize,
                                  .CompressedSize = c.compressedSize,
                                  .CRC = Crc(Bytes(kPlain.begin(), kPlain.begin() + sized))},
                                 c.data)
                       .Entry("next", SampleText(20000, 5)))));
  const auto [fastMessage, fastBytes] = ExtractAfterPrefix(false);
  const auto [chunkMessage, chunkBytes] = ExtractAfterPrefix(true);
  EXPECT_EQ(chunkMessage, fastMessage);
  EXPECT_TRUE(chunkBytes == fastBytes);
  const auto [readerMessage, snapshotMessage] = ReadWhole();
  EXPECT_EQ(readerMessage, fastMessage);
  EXPECT_EQ(snapshotMessage, fastMessage);
  if (c.message) {
    EXPECT_EQ(fastMessage, *c.message);
    EXPECT_TRUE(fastBytes == Text(kPlain).substr(0, fastBytes.size()));
  }
  if (c.delivered != kAny) {
    EXPECT_EQ(fastBytes.size(), c.delivered);
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, InflatePathsAgree, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.label; });

}  // namespace
}  // namespace tomelet::test
