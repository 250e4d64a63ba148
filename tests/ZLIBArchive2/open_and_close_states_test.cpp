#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

class OpenAndClose : public ArchiveTest {
 protected:
  std::string Document() {
    return WriteArchive(TTestDocument()
                            .Entry("-config-", std::string(2872, '\0'))
                            .Entry("index.htm", SampleText(3000)));
  }
  // Open, closed, or named but empty: what each query answers.
  std::vector<std::string> Answers() {
    TMemoryStream dest;
    return {arc_.ArchiveFileName(), MessageOf([&] { EXPECT_GE(arc_.EntryCount(), 0); }),
            MessageOf([&] { EXPECT_EQ(arc_.IndexOfEntry("index.htm"), -1); }),
            MessageOf([&] { arc_.ExtractToStream(dest, "index.htm"); }),
            MessageOf([&] { arc_.ArchivePosition(0); })};
  }
  const std::string kNotOpen = "No archive is currently open";
  const std::vector<std::string> kClosed = {"", kNotOpen, kNotOpen, kNotOpen,
                                            "Unknown file position marker"};
  std::vector<std::string> NamedButEmpty(const std::string& name) {
    return {name, "", "", "index.htm not found in archive", "Unknown file position marker"};
  }
};

TEST_F(OpenAndClose, EmptyNameCloseAndReopen) {
  EXPECT_FALSE(arc_.OpenArchive(""));
  EXPECT_EQ(Answers(), kClosed);
  int opened = 0;
  arc_.OnArchiveOpened = [&](TZLBArc2& sender) { opened += sender.IndexOfEntry("INDEX.HTM"); };
  ASSERT_TRUE(arc_.OpenArchive(Document()));
  arc_.CloseArchive();
  EXPECT_EQ(Answers(), kClosed);
  ASSERT_TRUE(arc_.OpenArchive(PathOf("doc.tlt")));
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(arc_.EntryCount(), 2);
}

TEST_F(OpenAndClose, FailuresBeforeTheRegistryLeaveTheNameWithoutEntries) {
  const std::string version = "The archive was created with a different version of ZLBArchive";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {PathOf("none.tlt"), "Archive file not found"},
      {dir_.Path().string(), "Archive file not found"},
      {WriteBytes("zeros", Bytes(100)), version + " (v0)"},
      {WriteBytes("v3", Concat({Bytes(9), Trailer(0, -3, 0, 0, false)})), version + " (v-3)"},
      {WriteBytes("tiny", ToBytes("MZ")), "Stream read error"}};
  for (const auto& [path, message] : cases) {
    ASSERT_TRUE(arc_.OpenArchive(Document()));
    EXPECT_EQ(MessageOf([&] { arc_.OpenArchive(path); }), message);
    EXPECT_EQ(Answers(), NamedButEmpty(path));
  }
  arc_.CloseArchive();
  EXPECT_EQ(Answers(), kClosed);
}

TEST_F(OpenAndClose, CrcMismatchAndFailingOpenHandlerClose) {
  Bytes bytes = TTestDocument().Entry("a.txt", SampleText(3000)).Bytes();
  bytes[10] ^= std::byte{0x01};
  const std::string damaged = WriteBytes("damaged.tlt", bytes);
  EXPECT_EQ(MessageOf([&] { arc_.OpenArchive(damaged); }), "The archive appears to be corrupted");
  EXPECT_EQ(Answers(), kClosed);
  arc_.VerifyArchiveCRC = false;
  EXPECT_TRUE(arc_.OpenArchive(damaged));
  arc_.OnArchiveOpened = [](TZLBArc2&) { throw std::runtime_error("handler"); };
  EXPECT_EQ(MessageOf([&] { arc_.OpenArchive(Document()); }), "Error reading registry");
  EXPECT_EQ(Answers(), kClosed);
}

}  // namespace
}  // namespace tomelet::test
