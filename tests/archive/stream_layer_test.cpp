#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

using StreamLayer = ArchiveTest;

TEST_F(StreamLayer, MemoryStreamOverwritesInPlaceAndGrowsAtTheEnd) {
  TMemoryStream stream;
  stream.Write(AsBytes("abcdef"));
  stream.SetPosition(2);
  stream.Write(AsBytes("XYZWV"));
  EXPECT_EQ(stream.View(), "abXYZWV");
  EXPECT_EQ(stream.Position(), 7);
  stream.SetPosition(5);
  std::array<std::byte, 8> buffer{};
  EXPECT_EQ(stream.Read(buffer), 2u);
  EXPECT_EQ(stream.Read(buffer), 0u);
  EXPECT_THROW(stream.Seek(-1, SeekOrigin::Begin), EStreamError);
  stream.SetSize(3);
  EXPECT_EQ(stream.View(), "abX");
  EXPECT_EQ(stream.Position(), 3);
}

TEST_F(StreamLayer, FileStreamsOverOneFileKeepTheirOwnPositions) {
  const std::string path = WriteBytes("f.bin", ToBytes("0123456789"));
  TFileStream first(path, TFileStream::Mode::Read);
  TFileStream second(path, TFileStream::Mode::Read);
  std::array<std::byte, 4> a{};
  std::array<std::byte, 4> b{};
  first.SetPosition(6);
  first.ReadBuffer(a);
  second.ReadBuffer(b);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(a.data()), 4), "6789");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data()), 4), "0123");
  EXPECT_THROW(first.ReadBuffer(a), EReadError);
  EXPECT_THROW(TFileStream(PathOf("missing"), TFileStream::Mode::Read), EStreamError);
}

TEST_F(StreamLayer, CopyFromAShortSourceRaisesTheReadErrorAndKeepsWhatArrived) {
  for (const bool toMemory : {true, false}) {
    TMemoryStream source;
    source.Write(AsBytes("hello"));
    source.SetPosition(1);
    TMemoryStream memoryDest;
    TFileStream fileDest(PathOf("out.bin"), TFileStream::Mode::Create);
    TStream& dest = toMemory ? static_cast<TStream&>(memoryDest) : fileDest;
    EXPECT_THROW(dest.CopyFrom(source, 9), EReadError);
    EXPECT_LE(dest.Size(), 4);
    source.SetPosition(1);
    dest.SetPosition(0);
    dest.CopyFrom(source, 3);
    EXPECT_EQ(dest.Position(), 3);
    EXPECT_EQ(StreamCRC32(dest, 0, dest.Size() - 3), Crc(ToBytes("ell")));
  }
}

}  // namespace
}  // namespace tomelet::test
