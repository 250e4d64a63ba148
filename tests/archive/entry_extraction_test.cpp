#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

class EntryExtraction : public ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    WriteBytes("viewer.bin", Bytes(4097, std::byte{0x90}));
    TZLBArchiveWriter writer;
    writer.AddEntry("pages\\big.htm", SampleText(200000));
    writer.AddEntry("stored.bin", "raw bytes", fcNone);
    writer.AddEntry("empty", "");
    writer.AddRawEntry(
        {.FileName = "wrong.crc", .OriginalSize = 5, .CRC = 1, .Method = kMethodStored},
        ToBytes("12345"));
    writer.AddRawEntry(
        {.FileName = "odd.method", .OriginalSize = 3, .CRC = Crc(ToBytes("odd")), .Method = 9},
        ToBytes("odd"));
    writer.WriteFile(PathOf("doc.exe"), PathOf("viewer.bin"));
    ASSERT_TRUE(arc_.OpenArchive(PathOf("doc.exe")));
  }
  std::string Extract(int index, TStream& dest) {
    arc_.ExtractEntry(index, dest);
    return std::string(static_cast<TMemoryStream&>(dest).View());
  }
};

TEST_F(EntryExtraction, ContentsArriveAfterAnExecutablePrefix) {
  EXPECT_EQ(arc_.ArchivePosition(0), 4097);
  TMemoryStream a, b, c, d;
  EXPECT_EQ(Extract(0, a), SampleText(200000));
  EXPECT_EQ(a.Position(), 200000);
  EXPECT_EQ(Extract(1, b), "raw bytes");
  EXPECT_EQ(Extract(2, c), "");
  EXPECT_EQ(Extract(4, d), "odd");
}

TEST_F(EntryExtraction, FileDestinationsAndGivenArchiveStreams) {
  TFileStream out(PathOf("out.htm"), TFileStream::Mode::Create);
  TFileStream archive(PathOf("doc.exe"), TFileStream::Mode::Read);
  EXPECT_TRUE(arc_.ExtractEntry(0, out, &archive));
  EXPECT_EQ(out.Size(), 200000);
  EXPECT_EQ(StreamCRC32(out, 0, 0), arc_.GetEntry(0).CRC);
}

TEST_F(EntryExtraction, CrcIsCheckedOverTheWholeDestinationOnlyWhenAsked) {
  TMemoryStream dest;
  EXPECT_EQ(Extract(3, dest), "12345");
  arc_.VerifyFileCRC = true;
  dest.Clear();
  EXPECT_EQ(MessageOf([&] { arc_.ExtractEntry(3, dest); }), "wrong.crc failed CRC check");
  TMemoryStream used;
  used.Write(AsBytes("previous"));
  EXPECT_EQ(MessageOf([&] { arc_.ExtractEntry(1, used); }), "stored.bin failed CRC check");
  TMemoryStream fresh;
  EXPECT_EQ(Extract(0, fresh).size(), 200000u);
}

TEST_F(EntryExtraction, BadIndexesAndAVanishedFile) {
  TMemoryStream dest;
  EXPECT_EQ(MessageOf([&] { arc_.ExtractEntry(-1, dest); }), "Index out of bounds");
  EXPECT_EQ(MessageOf([&] { arc_.ExtractEntry(5, dest); }), "Index out of bounds");
  std::filesystem::remove(PathOf("doc.exe"));
  EXPECT_EQ(MessageOf([&] { arc_.ExtractEntry(1, dest); }),
            "Unable to open archive " + PathOf("doc.exe"));
}

}  // namespace
}  // namespace tomelet::test
