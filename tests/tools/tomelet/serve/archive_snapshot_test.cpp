// The server's view of a document: sizes claimed by a hostile file never turn into allocations
// or bytes from outside the entry, and a document appended to a program reads like a .tlt.
#include <fstream>

#include "tests/tools/tomelet/serve/serve_fixture.h"

namespace tomelet::serve::testing {
namespace {

class ArchiveSnapshotTest : public ServeTest {
 protected:
  void AddClaim(const std::string& name, std::uint8_t method, std::int64_t originalSize,
                const std::string& data) {
    TArchiveEntry entry;
    entry.FileName = name;
    entry.Method = method;
    entry.OriginalSize = originalSize;
    entry.CompressedSize = method == kMethodDeflated ? static_cast<std::int64_t>(data.size()) : 0;
    writer_.AddRawEntry(entry, std::as_bytes(std::span(data)));
  }
  int Index(std::string_view name) const { return archive_->IndexOf(name); }
};

TEST_F(ArchiveSnapshotTest, SizesBeyondTheDataAreRefusedNotAllocated) {
  AddClaim("stored.bin", kMethodStored, std::int64_t{1} << 40, "tiny");
  AddClaim("deflated.htm", kMethodDeflated, std::int64_t{1} << 40,
           "\x78\x9c\x03\x00\x00\x00\x00\x01");
  Serve();
  EXPECT_THROW(archive_->Contents(Index("stored.bin")), EZLBArchiveError);
  EXPECT_THROW(archive_->Contents(Index("deflated.htm")), EZLBArchiveError);
  EXPECT_FALSE(archive_->HasVerifiedZlibStream(Index("deflated.htm")));
  EXPECT_EQ(Get("/stored.bin")->status, 500);
  EXPECT_EQ(Get("/deflated.htm")->status, 500);
  EXPECT_EQ(Get("/index.htm")->status, 200);
}

TEST_F(ArchiveSnapshotTest, EncryptedEntriesAreNotServed) {
  AddClaim("secret.htm", kMethodStoredEncrypted, 6, "cipher");
  Serve();
  const auto result = Get("/secret.htm");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 500);
  EXPECT_NE(result->body.find("No password given for encrypted file"), std::string::npos);
  EXPECT_EQ(Get("/secret.htm", {{"Accept-Encoding", "deflate"}})->status, 500);
}

TEST_F(ArchiveSnapshotTest, PiecesAddUpToTheWholeContents) {
  AddEntry("long.txt", PageText("long", 20000));
  Serve();
  const int index = Index("long.txt");
  const auto reader = archive_->OpenContents(index);
  std::string pieces;
  std::vector<std::byte> piece(1000);
  while (const std::size_t got = reader->Read(piece)) {
    pieces.append(reinterpret_cast<const char*>(piece.data()), got);
  }
  EXPECT_EQ(pieces, Contents("long.txt"));
  const auto whole = archive_->Contents(index);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(whole.data()), whole.size()), pieces);
}

TEST(ArchiveSnapshotFile, DocumentAppendedToAProgramReadsTheSame) {
  TempFolder folder;
  const auto program = folder.Path() / "program";
  std::ofstream(program, std::ios::binary) << NoiseBytes(70000, 9);
  TZLBArchiveWriter writer;
  writer.AddEntry("index.htm", PageText("appended", 30));
  const auto executable = folder.Path() / "Manual";
  writer.WriteFile(executable.string(), program.string());
  const TArchiveSnapshot archive(executable);
  const auto bytes = archive.Contents(archive.IndexOf("INDEX.HTM"));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
            PageText("appended", 30));
  EXPECT_TRUE(archive.IsUnchanged());
}

TEST(ArchiveSnapshotFile, FilesWithoutADocumentRaiseTheReaderMessages) {
  TempFolder folder;
  EXPECT_THROW(TArchiveSnapshot(folder.Path() / "absent.tlt"), EZLBArchiveError);
  const auto plain = folder.Path() / "plain.bin";
  std::ofstream(plain, std::ios::binary) << NoiseBytes(100, 4);
  try {
    TArchiveSnapshot snapshot(plain);
    FAIL() << "opened a file without an archive";
  } catch (const EZLBArchiveError& error) {
    EXPECT_NE(std::string(error.what()).find("different version"), std::string::npos)
        << error.what();
  }
}

TEST_F(ArchiveSnapshotTest, RepeatedReadsNearTheEndOfALargeEntryCostAboutWhatTheyRead) {
  const std::string large = PageText("large", 1200000);
  ASSERT_GE(large.size(), 32u << 20);
  AddEntry("large.htm", large);
  Serve();
  const int index = Index("large.htm");
  const auto tail = static_cast<std::int64_t>(large.size()) - 30;
  for (int round = 0; round < 3; ++round) {
    const std::int64_t before = archive_->InflatedBytes();
    const auto reader = archive_->OpenContents(index, tail);
    std::vector<std::byte> piece(100);
    const std::size_t got = reader->Read(piece);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(piece.data()), got), large.substr(tail));
    const std::int64_t cost = archive_->InflatedBytes() - before;
    if (round > 0) {
      EXPECT_LE(cost, TSeekPoints::kSpacing + 65536) << "round " << round;
    }
  }
  const auto middle = archive_->OpenContents(index, 12345678);
  std::vector<std::byte> piece(10);
  ASSERT_EQ(middle->Read(piece), 10u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(piece.data()), 10),
            large.substr(12345678, 10));
}

}  // namespace
}  // namespace tomelet::serve::testing
