#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

Bytes Xor(Bytes bytes) {
  for (std::byte& b : bytes) {
    b ^= std::byte{0x5A};
  }
  return bytes;
}

class EncryptedEntries : public ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    const Bytes packed = Deflated(plain_);
    TZLBArchiveWriter writer;
    writer.AddEntry("lead.txt", "before");
    writer.AddRawEntry({.FileName = "secret.htm",
                        .OriginalSize = 5000,
                        .CompressedSize = static_cast<std::int64_t>(packed.size()),
                        .DecryptSize = (1LL << 32) + static_cast<std::int64_t>(packed.size()),
                        .CRC = Crc(plain_),
                        .Method = kMethodDeflatedEncrypted},
                       Xor(packed));
    writer.AddRawEntry({.FileName = "secret.bin",
                        .OriginalSize = 5000,
                        .DecryptSize = 5000,
                        .CRC = Crc(plain_),
                        .Method = kMethodStoredEncrypted},
                       Xor(plain_));
    ASSERT_TRUE(arc_.OpenArchive(WriteArchive(writer)));
    std::filesystem::create_directory(dir_ / "tmp");
    arc_.TempDir = (dir_ / "tmp").string();
    arc_.VerifyFileCRC = true;
  }
  void UseXorHandler() {
    arc_.OnDecryptStream = [this](TStream& in, TStream& out, std::uint32_t size,
                                  const std::string& password) {
      passwords_.push_back(password);
      tempFiles_ = CountTempFiles();
      Bytes bytes(size);
      in.ReadBuffer(bytes);
      out.Write(Xor(bytes));
    };
  }
  std::size_t CountTempFiles() const {
    std::size_t count = 0;
    for (const auto& file : std::filesystem::directory_iterator(dir_ / "tmp")) {
      count += file.path().filename().string().starts_with("ZLB") ? 1 : 0;
    }
    return count;
  }

  Bytes plain_ = ToBytes(SampleText(5000));
  std::vector<std::string> passwords_;
  std::size_t tempFiles_ = 0;
};

TEST_F(EncryptedEntries, MissingPasswordComesBeforeMissingHandler) {
  TMemoryStream dest;
  for (const char* password : {"", " \t\r\n "}) {
    arc_.Password = password;
    EXPECT_EQ(MessageOf([&] { arc_.ExtractToStream(dest, "secret.htm"); }),
              "No password given for encrypted file");
  }
  arc_.Password = "key";
  EXPECT_EQ(MessageOf([&] { arc_.ExtractToStream(dest, "secret.bin"); }),
            "No decryption algorithm found");
  EXPECT_EQ(CountTempFiles(), 0u);
}

TEST_F(EncryptedEntries, HandlerDecryptsThroughATemporaryFileThatIsRemoved) {
  arc_.Password = " key ";
  UseXorHandler();
  for (const char* name : {"secret.htm", "secret.bin"}) {
    TMemoryStream dest;
    arc_.ExtractToStream(dest, name);
    EXPECT_TRUE(std::equal(plain_.begin(), plain_.end(), dest.Bytes().begin(), dest.Bytes().end()));
    EXPECT_EQ(tempFiles_, 1u);
    EXPECT_EQ(CountTempFiles(), 0u);
  }
  EXPECT_EQ(passwords_, (std::vector<std::string>{" key ", " key "}));
}

TEST_F(EncryptedEntries, TemporaryFileGoesAwayWhenDecodingFails) {
  arc_.Password = "key";
  arc_.OnDecryptStream = [](TStream&, TStream& out, std::uint32_t, const std::string&) {
    out.Write(AsBytes("not a zlib stream at all"));
  };
  TMemoryStream dest;
  EXPECT_EQ(MessageOf([&] { arc_.ExtractToStream(dest, "secret.htm"); }),
            "The archive appears to be corrupted");
  arc_.OnDecryptStream = [](TStream&, TStream&, std::uint32_t, const std::string&) {
    throw std::runtime_error("wrong key");
  };
  EXPECT_EQ(MessageOf([&] { arc_.ExtractToStream(dest, "secret.bin"); }), "wrong key");
  EXPECT_EQ(CountTempFiles(), 0u);
}

}  // namespace
}  // namespace tomelet::test
