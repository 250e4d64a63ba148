#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

class OpenAndClose : public ArchiveTest {
 protected:
  std::string Document() {
    TZLBArchiveWriter writer;
    writer.AddEntry("-config-", std::string(2872, '\0'));
    writer.AddEntry("index.htm", "<html>home</html>");
    return WriteArchive(writer);
  }
  void ExpectNamedButEmpty(const std::string& name) {
    EXPECT_EQ(arc_.ArchiveFileName(), name);
    EXPECT_EQ(arc_.EntryCount(), 0);
    EXPECT_EQ(arc_.IndexOfEntry("index.htm"), -1);
    TMemoryStream dest;
    EXPECT_EQ(MessageOf([&] { arc_.ExtractToStream(dest, "index.htm"); }),
              "index.htm not found in archive");
    EXPECT_EQ(MessageOf([&] { arc_.ArchivePosition(0); }), "Unknown file position marker");
  }
  void ExpectClosed() {
    EXPECT_EQ(arc_.ArchiveFileName(), "");
    EXPECT_EQ(MessageOf([&] { arc_.EntryCount(); }), "No archive is currently open");
    EXPECT_EQ(MessageOf([&] { arc_.IndexOfEntry("a"); }), "No archive is currently open");
    TMemoryStream dest;
    EXPECT_EQ(MessageOf([&] { arc_.ExtractToStream(dest, "a"); }), "No archive is currently open");
    EXPECT_EQ(MessageOf([&] { arc_.GetEntry(0); }), "Index out of bounds");
  }
};

TEST_F(OpenAndClose, EmptyNameReturnsFalseAndStaysClosed) {
  EXPECT_FALSE(arc_.OpenArchive(""));
  ExpectClosed();
}

TEST_F(OpenAndClose, OpenThenCloseAndReopen) {
  int opened = 0;
  arc_.OnArchiveOpened = [&](TZLBArc2& sender) {
    EXPECT_EQ(&sender, &arc_);
    EXPECT_EQ(sender.IndexOfEntry("INDEX.HTM"), 1);
    ++opened;
  };
  const std::string path = Document();
  ASSERT_TRUE(arc_.OpenArchive(path));
  EXPECT_EQ(arc_.EntryCount(), 2);
  EXPECT_EQ(arc_.ArchivePosition(5), 5);
  arc_.CloseArchive();
  ExpectClosed();
  EXPECT_EQ(MessageOf([&] { arc_.ArchivePosition(0); }), "Unknown file position marker");
  ASSERT_TRUE(arc_.OpenArchive(path));
  EXPECT_EQ(opened, 2);
}

TEST_F(OpenAndClose, FailuresBeforeTheTrailerLeaveTheNameWithoutEntries) {
  ASSERT_TRUE(arc_.OpenArchive(Document()));
  EXPECT_EQ(MessageOf([&] { arc_.OpenArchive(PathOf("none.tlt")); }), "Archive file not found");
  ExpectNamedButEmpty(PathOf("none.tlt"));
  EXPECT_EQ(MessageOf([&] { arc_.OpenArchive(dir_.string()); }), "Archive file not found");

  const std::string zeros = WriteBytes("zeros", Bytes(100));
  EXPECT_EQ(MessageOf([&] { arc_.OpenArchive(zeros); }),
            "The archive was created with a different version of ZLBArchive (v0)");
  ExpectNamedButEmpty(zeros);
  Bytes v3 = Concat({Bytes(64), Trailer(0, 0, -3, 0, 0, false)});
  EXPECT_EQ(MessageOf([&] { arc_.OpenArchive(WriteBytes("v3", v3)); }),
            "The archive was created with a different version of ZLBArchive (v-3)");
  EXPECT_EQ(MessageOf([&] { arc_.OpenArchive(WriteBytes("tiny", ToBytes("MZ"))); }),
            "Stream read error");
  arc_.CloseArchive();
  ExpectClosed();
}

TEST_F(OpenAndClose, ArchiveCrcMismatchClosesOnlyWhenVerified) {
  TZLBArchiveWriter writer;
  writer.AddEntry("a.txt", SampleText(3000));
  Bytes bytes = writer.Bytes();
  bytes[10] ^= std::byte{0x01};
  const std::string path = WriteBytes("damaged.tlt", bytes);
  EXPECT_EQ(MessageOf([&] { arc_.OpenArchive(path); }), "The archive appears to be corrupted");
  ExpectClosed();
  EXPECT_EQ(arc_.Trailer().Version, 0);
  arc_.VerifyArchiveCRC = false;
  EXPECT_TRUE(arc_.OpenArchive(path));
  EXPECT_EQ(arc_.EntryCount(), 1);
}

TEST_F(OpenAndClose, EmptyArchiveIsValid) {
  const std::string path = WriteArchive(TZLBArchiveWriter());
  ASSERT_TRUE(arc_.OpenArchive(path));
  EXPECT_EQ(arc_.EntryCount(), 0);
  EXPECT_EQ(std::filesystem::file_size(path), kTrailerSize + 8);
}

TEST_F(OpenAndClose, FailingOpenHandlerBecomesARegistryError) {
  arc_.OnArchiveOpened = [](TZLBArc2&) { throw std::runtime_error("handler"); };
  EXPECT_EQ(MessageOf([&] { arc_.OpenArchive(Document()); }), "Error reading registry");
  ExpectClosed();
}

}  // namespace
}  // namespace tomelet::test
