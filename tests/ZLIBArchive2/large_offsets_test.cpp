#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

constexpr std::int64_t kBeyond2GiB = 5LL << 29;

// Sparse files make both shapes cheap: a 2.5 GiB executable before the archive, and a data area
// whose entries start 2.5 GiB in.
TEST_F(ArchiveTest, PositionsBeyond2GiBAreNotTruncated) {
  const auto document = TTestDocument().Entry("a.htm", SampleText(10000)).Stored("b.bin", "stored");
  const Bytes packed = Deflated(ToBytes(SampleText(9000)));
  const std::int64_t second = kBeyond2GiB + static_cast<std::int64_t>(packed.size());
  const Bytes registry = Concat({Record("a.htm", "", 9000, kBeyond2GiB, 0, 0, packed.size()),
                                 Record("b.bin", "", 6, second, 0, 1)});
  {
    TFileStream prefixed(PathOf("big.exe"), TFileStream::Mode::Create);
    prefixed.SetPosition(kBeyond2GiB);
    prefixed.Write(document.Bytes());
    TFileStream farData(PathOf("big.tlt"), TFileStream::Mode::Create);
    farData.SetPosition(kBeyond2GiB);
    farData.Write(
        Concat({packed, ToBytes("stored"), registry, Trailer(2, 2, 1100, second + 6, false)}));
  }
  arc_.VerifyArchiveCRC = false;
  for (const auto& [name, start] :
       {std::pair{"big.exe", kBeyond2GiB}, std::pair{"big.tlt", std::int64_t{0}}}) {
    ASSERT_TRUE(arc_.OpenArchive(PathOf(name)));
    EXPECT_EQ(arc_.ArchivePosition(0), start);
    for (const bool withProgress : {false, true}) {
      arc_.OnProgress = withProgress ? [](const std::string&, int) {} : TProgressEvent();
      EXPECT_EQ(Extract("a.htm").substr(0, 9000), SampleText(9000));
      EXPECT_EQ(Extract("b.bin"), "stored");
    }
  }
}

}  // namespace
}  // namespace tomelet::test
