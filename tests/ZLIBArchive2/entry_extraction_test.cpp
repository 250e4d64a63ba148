#include <cstdlib>
#include <tuple>

#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

Bytes Xor(Bytes bytes) {
  for (std::byte& b : bytes) {
    b ^= std::byte{0x5A};
  }
  return bytes;
}

class EntryExtraction : public ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    const Bytes packed = Deflated(plain_);
    WriteBytes("viewer.bin", Bytes(4097, std::byte{0x90}));
    const auto document =
        TTestDocument()
            .Entry("pages\\big.htm", SampleText(200000))
            .Stored("stored.bin", "raw bytes")
            .RawEntry({.FileName = "wrong.crc", .OriginalSize = 5, .CRC = 1, .Method = 1}, "12345")
            .RawEntry({.FileName = "odd.method", .OriginalSize = 3, .Method = 9}, "odd")
            .RawEntry({.FileName = "secret.htm",
                       .OriginalSize = 5000,
                       .DecryptSize = (1LL << 32) + static_cast<std::int64_t>(packed.size()),
                       .CRC = Crc(plain_),
                       .Method = kMethodDeflatedEncrypted},
                      Xor(packed))
            .RawEntry({.FileName = "secret.bin",
                       .OriginalSize = 5000,
                       .DecryptSize = 5000,
                       .CRC = Crc(plain_),
                       .Method = kMethodStoredEncrypted},
                      Xor(plain_))
            .AfterExecutable(PathOf("viewer.bin"));
    ASSERT_TRUE(arc_.OpenArchive(WriteArchive(document, "doc.exe")));
    std::filesystem::create_directory(dir_ / "tmp");
    arc_.TempDir = (dir_ / "tmp").string();
  }
  bool TempFolderEmpty() const { return std::filesystem::is_empty(dir_ / "tmp"); }

  Bytes plain_ = ToBytes(SampleText(5000));
};

TEST_F(EntryExtraction, ContentsArriveAfterAnExecutablePrefix) {
  EXPECT_EQ(arc_.ArchivePosition(0), 4097);
  TMemoryStream big;
  arc_.ExtractEntry(0, big);
  EXPECT_EQ(big.View(), SampleText(200000));
  EXPECT_EQ(big.Position(), 200000);
  EXPECT_EQ(Extract("stored.bin"), "raw bytes");
  EXPECT_EQ(Extract("odd.method"), "odd");
  TFileStream out(PathOf("out.htm"), TFileStream::Mode::Create);
  TFileStream archive(PathOf("doc.exe"), TFileStream::Mode::Read);
  EXPECT_TRUE(arc_.ExtractEntry(0, out, &archive));
  EXPECT_EQ(StreamCRC32(out, 0, 0), arc_.GetEntry(0).CRC);
}

TEST_F(EntryExtraction, CrcCoversTheWholeDestinationAndOnlyWhenAsked) {
  EXPECT_EQ(Extract("wrong.crc"), "12345");
  arc_.VerifyFileCRC = true;
  EXPECT_EQ(MessageOf([&] { Extract("wrong.crc"); }), "wrong.crc failed CRC check");
  TMemoryStream used;
  used.Write(AsBytes("previous"));
  EXPECT_EQ(MessageOf([&] { arc_.ExtractEntry(1, used); }), "stored.bin failed CRC check");
  EXPECT_EQ(Extract("pages\\big.htm").size(), 200000u);
}

std::string ReadThrough(TEntryReader& reader, std::size_t piece) {
  std::string text;
  Bytes buffer(piece);
  while (const std::size_t got = reader.Read(buffer)) {
    text += Text(std::span(buffer).first(got));
  }
  return text;
}

TEST_F(EntryExtraction, ReadersInflateAsTheyAreReadAfterTheReaderIsClosed) {
  const auto snapshot = arc_.Snapshot();
  EXPECT_EQ(MessageOf([&] { snapshot->OpenContents(4); }), "No password given for encrypted file");
  const auto big = snapshot->OpenContents(0);
  const auto stored = snapshot->OpenContents(1);
  arc_.CloseArchive();
  EXPECT_EQ(ReadThrough(*big, 7001), SampleText(200000));
  EXPECT_EQ(ReadThrough(*stored, 4), "raw bytes");
}

TEST_F(EntryExtraction, ReaderChecksTheCrcAtItsEndUnlessToldNotTo) {
  EXPECT_EQ(ReadThrough(*arc_.Snapshot()->OpenUncheckedContents(2, 0), 2), "12345");
  const auto reader = arc_.Snapshot()->OpenContents(2);
  Bytes buffer(4);
  EXPECT_EQ(reader->Read(buffer), 4u);
  EXPECT_EQ(MessageOf([&] { reader->Read(buffer); }), "wrong.crc failed CRC check");
}

TEST_F(EntryExtraction, BadIndexesAndAVanishedFile) {
  TMemoryStream dest;
  EXPECT_EQ(MessageOf([&] { arc_.ExtractEntry(-1, dest); }), "Index out of bounds");
  EXPECT_EQ(MessageOf([&] { arc_.ExtractEntry(6, dest); }), "Index out of bounds");
  std::filesystem::remove(PathOf("doc.exe"));
  EXPECT_EQ(MessageOf([&] { arc_.ExtractEntry(1, dest); }),
            "Unable to open archive " + PathOf("doc.exe"));
}

TEST_F(EntryExtraction, EncryptedEntriesNeedAPasswordThenAHandler) {
  for (const char* password : {"", " \t\r\n "}) {
    arc_.Password = password;
    EXPECT_EQ(MessageOf([&] { Extract("secret.htm"); }), "No password given for encrypted file");
  }
  arc_.Password = "key";
  EXPECT_EQ(MessageOf([&] { Extract("secret.bin"); }), "No decryption algorithm found");
  arc_.OnDecryptStream = [](TStream&, TStream& out, std::uint32_t, const std::string&) {
    out.Write(AsBytes("not a zlib stream"));
  };
  EXPECT_EQ(MessageOf([&] { Extract("secret.htm"); }), "The archive appears to be corrupted");
  arc_.OnDecryptStream = [](TStream&, TStream&, std::uint32_t, const std::string&) {
    throw std::runtime_error("wrong key");
  };
  EXPECT_EQ(MessageOf([&] { Extract("secret.bin"); }), "wrong key");
  EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(EntryExtraction, HandlerDecryptsThroughATemporaryFileThatIsRemoved) {
  arc_.Password = " key ";
  arc_.VerifyFileCRC = true;
  std::vector<std::string> seen;
  arc_.OnDecryptStream = [&](TStream& in, TStream& out, std::uint32_t size, const std::string& pw) {
    seen.push_back(pw + std::to_string(TempFolderEmpty()));
    Bytes bytes(size);
    in.ReadBuffer(bytes);
    out.Write(Xor(bytes));
  };
  EXPECT_EQ(Extract("secret.htm"), Text(plain_));
  EXPECT_EQ(Extract("secret.bin"), Text(plain_));
  EXPECT_EQ(seen, (std::vector<std::string>{" key 0", " key 0"}));
  EXPECT_TRUE(TempFolderEmpty());
}

// Without TempDir the file lies in the program's temporary folder, where a variable naming no
// folder is passed over rather than failing the extraction.
TEST_F(EntryExtraction, WithoutTempDirTheFilePassesOverAMissingTmpForTemp) {
  const char* oldTmp = std::getenv("TMP");
  const char* oldTemp = std::getenv("TEMP");
  const std::string savedTmp = oldTmp ? oldTmp : "";
  const std::string savedTemp = oldTemp ? oldTemp : "";
  ::setenv("TMP", (dir_ / "missing").c_str(), 1);
  ::setenv("TEMP", (dir_ / "tmp").c_str(), 1);
  arc_.TempDir.clear();
  arc_.Password = "key";
  bool fileWasInTemp = false;
  arc_.OnDecryptStream = [&](TStream& in, TStream& out, std::uint32_t size, const std::string&) {
    fileWasInTemp = !TempFolderEmpty();
    Bytes bytes(size);
    in.ReadBuffer(bytes);
    out.Write(Xor(bytes));
  };
  const std::string extracted = MessageOf([&] { EXPECT_EQ(Extract("secret.bin"), Text(plain_)); });
  for (const auto& [name, saved, old] :
       {std::tuple{"TMP", savedTmp, oldTmp}, std::tuple{"TEMP", savedTemp, oldTemp}}) {
    if (old)
      ::setenv(name, saved.c_str(), 1);
    else
      ::unsetenv(name);
  }
  EXPECT_EQ(extracted, "");
  EXPECT_TRUE(fileWasInTemp);
  EXPECT_TRUE(TempFolderEmpty());
}

}  // namespace
}  // namespace tomelet::test
