#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

constexpr std::int64_t kBeyond2GiB = 5LL << 29;

class LargeOffsets : public ArchiveTest {};

TEST_F(LargeOffsets, ArchiveAfterASparsePrefixBeyond2GiB) {
  TZLBArchiveWriter writer;
  writer.AddEntry("a.htm", SampleText(10000));
  writer.AddEntry("b.bin", "stored", fcNone);
  {
    TFileStream file(PathOf("big.exe"), TFileStream::Mode::Create);
    file.SetPosition(kBeyond2GiB);
    writer.WriteTo(file);
  }
  arc_.VerifyArchiveCRC = false;
  ASSERT_TRUE(arc_.OpenArchive(PathOf("big.exe")));
  EXPECT_EQ(arc_.ArchivePosition(0), kBeyond2GiB);
  TMemoryStream a, b;
  arc_.ExtractToStream(a, "a.htm");
  arc_.ExtractToStream(b, "b.bin");
  EXPECT_EQ(a.View(), SampleText(10000));
  EXPECT_EQ(b.View(), "stored");
}

TEST_F(LargeOffsets, EntriesBeyond2GiBInsideTheDataArea) {
  const Bytes plain = ToBytes(SampleText(9000));
  const Bytes packed = Deflated(plain);
  const std::int64_t second = kBeyond2GiB + static_cast<std::int64_t>(packed.size());
  const Bytes registry =
      Concat({Record("far.htm", "", 9000, kBeyond2GiB, Crc(plain), 0, packed.size()),
              Record("far.txt", "", 4, second, Crc(ToBytes("tail")), 1)});
  {
    TFileStream file(PathOf("big.tlt"), TFileStream::Mode::Create);
    file.SetPosition(kBeyond2GiB);
    file.Write(
        Concat({packed, ToBytes("tail"), registry, Trailer(0, 2, 2, 1100, second + 4, false)}));
  }
  arc_.VerifyArchiveCRC = false;
  arc_.VerifyFileCRC = true;
  ASSERT_TRUE(arc_.OpenArchive(PathOf("big.tlt")));
  EXPECT_EQ(arc_.ArchivePosition(0), 0);
  for (const bool withProgress : {false, true}) {
    arc_.OnProgress = withProgress ? [](const std::string&, int) {} : TProgressEvent();
    TMemoryStream htm, txt;
    arc_.ExtractToStream(htm, "far.htm");
    arc_.ExtractToStream(txt, "far.txt");
    EXPECT_EQ(htm.Size(), 9000);
    EXPECT_EQ(txt.View(), "tail");
  }
}

}  // namespace
}  // namespace tomelet::test
