#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

using ArchiveLayout = ArchiveTest;

// An archive of the same shape as a real document: 902,144 bytes of executable before it,
// a 629,721-byte data area, a 1,084-byte compressed registry of 37 records and the trailer
// bytes exactly as such a document ends.
class WorkedExample : public ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    Bytes data(629721);
    Bytes registry;
    std::int64_t end = 0;
    auto place = [&](std::string_view name, std::string_view path, const Bytes& plain,
                     std::int64_t offset, bool deflate) {
      const Bytes block = deflate ? Deflated(plain) : plain;
      ASSERT_GE(offset, end) << name;
      end = offset + static_cast<std::int64_t>(block.size());
      std::copy(block.begin(), block.end(), data.begin() + offset);
      const auto record = Record(name, path, static_cast<std::int64_t>(plain.size()), offset,
                                 Crc(plain), deflate ? 0 : 1, deflate ? block.size() : 0);
      registry.insert(registry.end(), record.begin(), record.end());
      contents_[std::string(path) + std::string(name)] = plain;
    };
    place("default.css", "", ToBytes(SampleText(5053)), 0, true);
    for (int i = 1; i < 5; ++i) {
      place("page" + std::to_string(i) + ".htm", "", ToBytes(SampleText(900, i)), 2000 * i, true);
    }
    place("ie567.css", "", ToBytes("body { margin: 0; }\r\n"), 8830, false);
    for (int i = 6; i < 34; ++i) {
      place("p" + std::to_string(i) + ".htm", "pages\\", ToBytes(SampleText(300, i)),
            9000 + 9000 * i, true);
    }
    place("help.jpg", "images\\", ToBytes(SampleText(671, 99)), 331170, true);
    place("-config-", "", Bytes(2872), 629150, true);
    place("-logo-", "", ToBytes(std::string(3262, 'L')), 629299, true);
    ASSERT_LE(end, 629721);
    Bytes packed = Deflated(registry);
    ASSERT_EQ(registry.size(), 20350u);
    ASSERT_LE(packed.size(), 1084u);
    packed.resize(1084);
    const Bytes trailer = {std::byte{0x82},
                           std::byte{0x61},
                           std::byte{0xC3},
                           std::byte{0xE9},
                           std::byte{0x25},
                           {},
                           {},
                           {},
                           std::byte{0x02},
                           {},
                           {},
                           {},
                           std::byte{0x3C},
                           std::byte{0x04},
                           {},
                           {},
                           std::byte{0xD9},
                           std::byte{0x9B},
                           std::byte{0x09},
                           {},
                           {},
                           {},
                           {},
                           {},
                           std::byte{0x01},
                           {},
                           {},
                           {},
                           {},
                           {},
                           {},
                           {},
                           {},
                           {},
                           {},
                           {}};
    path_ = WriteBytes("viewer", Concat({Bytes(902144, std::byte{0x4D}), data, packed, trailer}));
    arc_.VerifyArchiveCRC = false;
    arc_.OnProgress = [this](const std::string& msg, int percentage) {
      progress_.push_back(msg + "@" + std::to_string(percentage));
    };
  }

  std::string path_;
  std::map<std::string, Bytes> contents_;
  std::vector<std::string> progress_;
};

TEST_F(WorkedExample, TrailerArithmeticAndRegistryProgress) {
  ASSERT_TRUE(arc_.OpenArchive(path_));
  EXPECT_EQ(std::filesystem::file_size(path_), 1532985u);
  EXPECT_EQ(arc_.Trailer().ArchiveCRC, 0xE9C36182u);
  EXPECT_EQ(arc_.Trailer().RegistrySize, 1084);
  EXPECT_EQ(arc_.Trailer().DataSize, 629721);
  EXPECT_EQ(arc_.ArchivePosition(0), 902144);
  EXPECT_EQ(arc_.EntryCount(), 37);
  EXPECT_EQ(progress_,
            (std::vector<std::string>{"@0", "Extracting registry@20", "Extracting registry@40",
                                      "Extracting registry@60", "Extracting registry@81",
                                      "Extracting registry@100", path_ + "@0"}));
}

TEST_F(WorkedExample, EveryEntryComesBackAndDefaultCssReportsTwoChunks) {
  ASSERT_TRUE(arc_.OpenArchive(path_));
  for (const auto& [name, plain] : contents_) {
    progress_.clear();
    TMemoryStream dest;
    arc_.ExtractToStream(dest, name);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), dest.Bytes().begin(), dest.Bytes().end()))
        << name;
  }
  progress_.clear();
  TMemoryStream dest;
  arc_.ExtractToStream(dest, "default.css");
  EXPECT_EQ(progress_, (std::vector<std::string>{"Extracting default.css@81",
                                                 "Extracting default.css@100", path_ + "@0"}));
  EXPECT_EQ(arc_.GetEntry(5).ArchivePath(), "ie567.css");
  EXPECT_EQ(arc_.GetEntry(34).ArchivePath(), "images\\help.jpg");
}

TEST_F(ArchiveLayout, WriterEmitsTheDocumentedBytes) {
  TZLBArchiveWriter writer({.Version = 2, .CompressRegistry = false});
  writer.AddEntry("images\\a.txt", "abc", fcNone);
  const Bytes data = ToBytes("abc");
  const Bytes registry = Record("a.txt", "images\\", 3, 0, Crc(data), 1);
  const Bytes body = Concat({data, registry});
  EXPECT_EQ(writer.Bytes(), Concat({body, Trailer(Crc(body), 1, 2, 550, 3, false)}));
}

TEST_F(ArchiveLayout, VersionOneRecordsAreWidenedWithSignExtension) {
  const Bytes data = ToBytes("0123456789");
  const Bytes registry = Concat({Record("a.txt", "", 4, 0, Crc(ToBytes("0123")), 1, -1, 0, true),
                                 Record("b.txt", "d\\", 6, 4, 0, 1, 0, 0, true)});
  const Bytes body = Concat({data, registry});
  const std::string path = WriteBytes(
      "v1.tlt", Concat({ToBytes("MZ"), body, Trailer(Crc(body), 2, 1, 1064, 10, false)}));
  ASSERT_TRUE(arc_.OpenArchive(path));
  EXPECT_EQ(arc_.Trailer().Version, 1);
  EXPECT_EQ(arc_.GetEntry(0).CompressedSize, -1);
  EXPECT_EQ(arc_.GetEntry(0).DecryptSize, 0);
  TMemoryStream dest;
  arc_.ExtractToStream(dest, "D\\B.TXT");
  EXPECT_EQ(dest.View(), "456789");
}

TEST_F(ArchiveLayout, WriterVersionsAndRegistryFormsReadBackAlike) {
  for (const int version : {1, 2}) {
    for (const bool compressed : {false, true}) {
      TZLBArchiveWriter writer({.Version = version, .CompressRegistry = compressed});
      writer.AddEntry("x\\big.txt", SampleText(70000));
      writer.AddEntry("empty", "");
      arc_.OpenArchive(WriteArchive(writer));
      ASSERT_EQ(arc_.EntryCount(), 2);
      EXPECT_EQ(arc_.Trailer().RegistryCompressed, compressed ? 1 : 0);
      TMemoryStream dest;
      arc_.ExtractToStream(dest, "x\\big.txt");
      EXPECT_EQ(dest.View(), SampleText(70000));
    }
  }
}

}  // namespace
}  // namespace tomelet::test
