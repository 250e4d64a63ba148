#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

// An archive of the shape of a real document: 902,144 bytes of executable before it, a
// 629,721-byte data area, a 1,084-byte compressed registry of 37 records and the very trailer
// bytes of such a document.
class WorkedExample : public ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    Bytes data(629721);
    Bytes registry;
    auto place = [&](const std::string& name, const std::string& path, const Bytes& plain,
                     std::int64_t offset, bool deflate) {
      const Bytes block = deflate ? Deflated(plain) : plain;
      std::copy(block.begin(), block.end(), data.begin() + offset);
      const Bytes record = Record(name, path, static_cast<std::int64_t>(plain.size()), offset,
                                  Crc(plain), deflate ? 0 : 1, deflate ? block.size() : 0);
      registry.insert(registry.end(), record.begin(), record.end());
      contents_[path + name] = Text(plain);
    };
    place("default.css", "", ToBytes(SampleText(5053)), 0, true);
    for (int i = 1; i < 5; ++i) {
      place("page" + std::to_string(i) + ".htm", "", ToBytes(SampleText(900, i)), 2000 * i, true);
    }
    place("ie567.css", "", ToBytes("body { margin: 0; }\r\n"), 8830, false);
    for (int i = 6; i < 34; ++i) {
      place("p" + std::to_string(i) + ".htm", "pages\\", ToBytes(SampleText(300, i)), 9000 * i,
            true);
    }
    place("help.jpg", "images\\", ToBytes(SampleText(671, 99)), 331170, true);
    place("-config-", "", Bytes(2872), 629150, true);
    place("-logo-", "", ToBytes(std::string(3262, 'L')), 629299, true);
    Bytes packed = Deflated(registry);
    ASSERT_EQ(registry.size(), 20350u);
    ASSERT_LE(packed.size(), 1084u);
    packed.resize(1084);
    Bytes trailer(36);
    for (const auto& [at, value] : std::initializer_list<std::pair<int, int>>{{0, 0x82},
                                                                              {1, 0x61},
                                                                              {2, 0xC3},
                                                                              {3, 0xE9},
                                                                              {4, 0x25},
                                                                              {8, 0x02},
                                                                              {12, 0x3C},
                                                                              {13, 0x04},
                                                                              {16, 0xD9},
                                                                              {17, 0x9B},
                                                                              {18, 0x09},
                                                                              {24, 0x01}}) {
      trailer[at] = static_cast<std::byte>(value);
    }
    path_ = WriteBytes("viewer", Concat({Bytes(902144, std::byte{0x4D}), data, packed, trailer}));
    arc_.VerifyArchiveCRC = false;
    RecordProgress();
  }

  std::string path_;
  std::map<std::string, std::string> contents_;
};

TEST_F(WorkedExample, TrailerArithmeticRegistryProgressAndEveryEntry) {
  ASSERT_TRUE(arc_.OpenArchive(path_));
  EXPECT_EQ(std::filesystem::file_size(path_), 1532985u);
  EXPECT_EQ(arc_.Trailer().ArchiveCRC, 0xE9C36182u);
  EXPECT_EQ(arc_.Trailer().DataSize, 629721);
  EXPECT_EQ(arc_.ArchivePosition(0), 902144);
  EXPECT_EQ(arc_.EntryCount(), 37);
  const std::string r = "Extracting registry@";
  EXPECT_EQ(progress_, (std::vector<std::string>{"@0", r + "20", r + "40", r + "60", r + "81",
                                                 r + "100", path_ + "@0"}));
  for (const auto& [name, plain] : contents_) {
    EXPECT_EQ(Extract(name), plain) << name;
  }
  progress_.clear();
  Extract("default.css");
  EXPECT_EQ(progress_, (std::vector<std::string>{"Extracting default.css@81",
                                                 "Extracting default.css@100", path_ + "@0"}));
  EXPECT_EQ(arc_.GetEntry(34).ArchivePath(), "images\\help.jpg");
}

TEST_F(ArchiveTest, ProgressRoundsHalfToEvenAndSkipsStoredAndEmptyEntries) {
  const std::string path =
      WriteArchive(TTestDocument()
                       .Entry("half.txt", SampleText(32768))
                       .Stored("stored.txt", SampleText(9000))
                       .RawEntry({.FileName = "zero.z", .CompressedSize = 8}, Deflated("")));
  arc_.OpenArchive(path);
  RecordProgress();
  Extract("half.txt");
  const std::string m = "Extracting half.txt@";
  EXPECT_EQ(progress_, (std::vector<std::string>{m + "12", m + "25", m + "38", m + "50", m + "62",
                                                 m + "75", m + "88", m + "100", path + "@0"}));
  progress_.clear();
  Extract("stored.txt");
  Extract("zero.z");
  arc_.CloseArchive();
  EXPECT_EQ(progress_, (std::vector<std::string>{path + "@0", path + "@0", "@0"}));
}

TEST_F(ArchiveTest, WriterEmitsTheDocumentedBytes) {
  TZLBArchiveWriter writer({.Version = 2, .CompressRegistry = false});
  writer.AddEntry("images\\a.txt", "abc", fcNone);
  const Bytes body =
      Concat({ToBytes("abc"), Record("a.txt", "images\\", 3, 0, Crc(ToBytes("abc")), 1)});
  EXPECT_EQ(writer.Bytes(), Concat({body, Trailer(1, 2, 550, 3, false, Crc(body))}));
}

TEST_F(ArchiveTest, VersionOneRecordsAreWidenedWithSignExtension) {
  const Bytes registry = Concat(
      {Record("a.txt", "", 4, 0, 0, 1, -1, true), Record("b.txt", "d\\", 6, 4, 0, 1, 0, true)});
  const Bytes body = Concat({ToBytes("0123456789"), registry});
  const Bytes archive = Concat({ToBytes("MZ"), body, Trailer(2, 1, 1064, 10, false, Crc(body))});
  ASSERT_TRUE(arc_.OpenArchive(WriteBytes("v1.tlt", archive)));
  EXPECT_EQ(arc_.GetEntry(0).CompressedSize, -1);
  EXPECT_EQ(arc_.GetEntry(0).DecryptSize, 0);
  EXPECT_EQ(Extract("D\\B.TXT"), "456789");
}

TEST_F(ArchiveTest, BothVersionsAndRegistryFormsReadBack) {
  for (const int version : {1, 2}) {
    for (const bool compressed : {false, true}) {
      TTestDocument document;
      document.Entry("x\\big.txt", SampleText(70000)).Entry("empty", "");
      if (version == 1) {
        document.FirstVersion();
      }
      if (!compressed) {
        document.PlainRegistry();
      }
      ASSERT_TRUE(arc_.OpenArchive(WriteArchive(document)));
      EXPECT_EQ(arc_.EntryCount(), 2);
      EXPECT_EQ(Extract("x\\big.txt"), SampleText(70000));
    }
  }
}

}  // namespace
}  // namespace tomelet::test
