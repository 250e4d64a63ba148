#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

const Bytes kPlain = ToBytes(SampleText(50000));
constexpr std::size_t kAny = SIZE_MAX;

Bytes Packed(int level = Z_DEFAULT_COMPRESSION) {
  uLongf length = compressBound(static_cast<uLong>(kPlain.size()));
  Bytes out(length);
  compress2(reinterpret_cast<Bytef*>(out.data()), &length,
            reinterpret_cast<const Bytef*>(kPlain.data()), static_cast<uLong>(kPlain.size()),
            level);
  out.resize(length);
  return out;
}

// One deflated entry as some writer might have left it, and what extracting it must give.
struct InflateCase {
  std::string label;
  Bytes data;
  std::int64_t originalSize;
  std::int64_t compressedSize;
  // "" for success; nullopt where damage may decode to other bytes that zlib accepts, since
  // inflation stops once the entry's size has come out.
  std::optional<std::string> message;
  std::size_t delivered;  // kAny where zlib decides how far it gets before the damage
};

std::ostream& operator<<(std::ostream& out, const InflateCase& c) {
  return out << c.label;
}

std::vector<InflateCase> Cases() {
  const Bytes packed = Packed();
  const auto size = static_cast<std::int64_t>(packed.size());
  const auto plain = static_cast<std::int64_t>(kPlain.size());
  const std::string corrupted = "The archive appears to be corrupted";
  Bytes badCheck = packed;
  badCheck.back() ^= std::byte{0xFF};
  Bytes garbageTail = packed;
  std::fill(garbageTail.begin() + size / 2, garbageTail.end(), std::byte{0xA5});
  return {
      {"Exact", packed, plain, size, "", kPlain.size()},
      {"TrailingBytes", Concat({packed, ToBytes("junk!")}), plain, size + 5, "", kPlain.size()},
      {"CompressedSizeZero", packed, plain, 0, "", kPlain.size()},
      {"CompressedSizeShort", packed, plain, size / 2, "", kPlain.size()},
      {"CompressedSizeBeyondArchive", packed, plain, 1LL << 40, "", kPlain.size()},
      {"StreamLongerThanEntry", packed, 12345, size, "", 12345},
      {"StoredBlocks", Packed(0), plain, static_cast<std::int64_t>(Packed(0).size()), "",
       kPlain.size()},
      {"StreamShorterThanEntry", packed, plain + 10, size, corrupted, kPlain.size()},
      {"BadCheckValue", badCheck, plain, size, corrupted, kAny},
      {"GarbageHalf", garbageTail, plain, size, std::nullopt, kAny},
      {"NotZlib", ToBytes(SampleText(3000)), plain, 3000, corrupted, 0},
  };
}

class InflatePathsAgree : public ArchiveTest, public ::testing::WithParamInterface<InflateCase> {
 protected:
  // Extracts entry 0 after a prefix already in Dest; returns the message and the new bytes.
  std::pair<std::string, std::string> Extract(bool withProgress) {
    arc_.OnProgress = withProgress ? [](const std::string&, int) {} : TProgressEvent();
    TMemoryStream dest;
    dest.Write(AsBytes("prefix"));
    const std::string message = MessageOf([&] { arc_.ExtractEntry(0, dest); });
    return {message, std::string(dest.View().substr(6))};
  }
};

TEST_P(InflatePathsAgree, SameBytesAndMessageWithAndWithoutProgress) {
  const InflateCase& c = GetParam();
  TZLBArchiveWriter writer;
  writer.AddRawEntry({.FileName = "entry",
                      .OriginalSize = c.originalSize,
                      .CompressedSize = c.compressedSize,
                      .Method = kMethodDeflated},
                     c.data);
  writer.AddEntry("next", SampleText(20000, 5));
  ASSERT_TRUE(arc_.OpenArchive(WriteArchive(writer)));
  const auto [fastMessage, fastBytes] = Extract(false);
  const auto [chunkMessage, chunkBytes] = Extract(true);
  EXPECT_EQ(chunkMessage, fastMessage);
  EXPECT_TRUE(chunkBytes == fastBytes);
  if (!c.message) {
    return;
  }
  EXPECT_EQ(fastMessage, *c.message);
  if (c.delivered != kAny) {
    EXPECT_EQ(fastBytes.size(), c.delivered);
  }
  const std::string expected(reinterpret_cast<const char*>(kPlain.data()), kPlain.size());
  EXPECT_TRUE(fastBytes == expected.substr(0, fastBytes.size()));
}

INSTANTIATE_TEST_SUITE_P(Variants, InflatePathsAgree, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.label; });

}  // namespace
}  // namespace tomelet::test
