// The document handle: one opening shared by the viewer's reader and every other reader, entries
// read whole or from any byte, the file's identity, and the messages for files without a document.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "ZLIBArchive2/SeekPoints.h"
#include "document/Document.h"
#include "document/DocumentFile.h"
#include "tests/support/TestDocument.h"

namespace tomelet {
namespace {

namespace fs = std::filesystem;

std::string AsText(std::span<const std::byte> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string ReadThrough(TEntryReader& reader, std::size_t piece) {
  std::string text;
  std::vector<std::byte> buffer(piece);
  while (const std::size_t got = reader.Read(buffer)) {
    text += AsText(std::span(buffer).first(got));
  }
  return text;
}

// Text that deflates well but not to nothing, so large entries stay quick to write.
std::string Lines(std::string_view word, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += std::string(word) + " line " + std::to_string(i) + "\n";
  }
  return text;
}

using testing::TTestDocument;

class DocumentHandle : public ::testing::Test {
 protected:
  testing::TScratchFolder folder_;
};

TEST_F(DocumentHandle, TheViewersReaderAndItsDocumentShareOneOpening) {
  const fs::path path = TTestDocument()
                            .Entry("guide\\intro one.htm", "<html lang='de'>Einleitung</html>")
                            .Stored("caf\xE9.htm", "legacy name")
                            .StartPageOption("guide/intro%20one.htm")
                            .WriteTo(folder_ / "shared.tlt");

  TZLBArc2 arc;
  ASSERT_TRUE(arc.OpenArchive(path.string()));
  const auto document = ShareDocument(arc);
  EXPECT_EQ(document->Descriptor(), arc.Snapshot()->Descriptor()) << "one descriptor, not two";
  arc.CloseArchive();
  EXPECT_THROW(ShareDocument(arc), EZLBArchiveError);

  EXPECT_EQ(document->StartPagePath(), "guide\\intro one.htm");
  EXPECT_EQ(&document->Options(), &document->Options()) << "read once and kept";
  const TFoundEntry legacy = document->Find("caf\xC3\xA9.htm");
  ASSERT_TRUE(legacy.Found());
  EXPECT_EQ(AsText(document->Contents(legacy.Index)), "legacy name");
  const auto block = document->PlainBlock(legacy.Index);
  ASSERT_TRUE(block.has_value()) << "a stored entry lies in the file as it is";
  std::string stored(static_cast<std::size_t>(block->Length), '\0');
  document->ReadAt(block->FileOffset, std::as_writable_bytes(std::span(stored)));
  EXPECT_EQ(stored, "legacy name");
  const int intro = document->IndexOf("GUIDE\\INTRO ONE.HTM");
  EXPECT_EQ(ReadThrough(*document->OpenContents(intro, 16), 3), "Einleitung</html>");
  EXPECT_TRUE(document->IsUnchanged());
}

TEST_F(DocumentHandle, DocumentAppendedToAProgramReadsTheSameUntilTheFileIsReplaced) {
  const auto program = folder_ / "program";
  std::ofstream(program, std::ios::binary) << std::string(70000, 'P');
  const auto executable = TTestDocument()
                              .Entry("index.htm", Lines("appended", 30))
                              .AfterExecutable(program)
                              .WriteTo(folder_ / "Manual");
  const auto document = OpenDocument(executable);
  EXPECT_EQ(AsText(document->Contents(document->IndexOf("INDEX.HTM"))), Lines("appended", 30));
  EXPECT_TRUE(document->IsUnchanged());

  TTestDocument().Entry("index.htm", "replaced").WriteTo(folder_ / "next");
  fs::rename(folder_ / "next", executable);
  EXPECT_FALSE(document->IsUnchanged());
  EXPECT_EQ(AsText(document->Contents(0)), Lines("appended", 30)) << "still the file it opened";
}

// Every front end shows these words: the file's name and what it is, with no version number
// read from bytes that were never a trailer.
TEST_F(DocumentHandle, FilesWithoutADocumentAreNamedWithWhatTheyAre) {
  const auto message = [](const fs::path& path) {
    try {
      OpenDocument(path);
    } catch (const EDocumentFileError& error) {
      return std::string(error.what());
    }
    return std::string("opened");
  };
  EXPECT_EQ(message(folder_ / "absent.tlt"),
            "Archive file not found: " + (folder_ / "absent.tlt").string());
  const auto plain = folder_ / "plain.tlt";
  std::ofstream(plain, std::ios::binary) << std::string(100, '\x04');
  EXPECT_EQ(message(plain), plain.string() + " is not a Tomelet document");
  std::ofstream(plain, std::ios::binary | std::ios::trunc) << "short text";
  EXPECT_EQ(message(plain), plain.string() + " is not a Tomelet document");
  std::ofstream(plain, std::ios::binary | std::ios::trunc);
  EXPECT_EQ(message(plain), plain.string() + " is empty, not a Tomelet document");
}

TEST_F(DocumentHandle, PiecesAddUpToTheWholeContents) {
  const auto document = OpenDocument(
      TTestDocument().Entry("long.txt", Lines("long", 20000)).WriteTo(folder_ / "pieces.tlt"));
  const std::string pieces = ReadThrough(*document->OpenContents(0), 1000);
  EXPECT_EQ(pieces, Lines("long", 20000));
  EXPECT_EQ(AsText(document->Contents(0)), pieces);
}

TEST_F(DocumentHandle, RepeatedReadsNearTheEndOfALargeEntryCostAboutWhatTheyRead) {
  const std::string large = Lines("large", 2000000);
  ASSERT_GE(large.size(), 32u << 20);
  const auto document =
      OpenDocument(TTestDocument().Entry("large.htm", large).WriteTo(folder_ / "large.tlt"));
  const auto tail = static_cast<std::int64_t>(large.size()) - 30;
  for (int round = 0; round < 3; ++round) {
    const std::int64_t before = document->InflatedBytes();
    const auto reader = document->OpenContents(0, tail);
    std::vector<std::byte> piece(100);
    const std::size_t got = reader->Read(piece);
    EXPECT_EQ(AsText(std::span(piece).first(got)), large.substr(tail));
    const std::int64_t cost = document->InflatedBytes() - before;
    if (round > 0) {
      EXPECT_LE(cost, TSeekPoints::kSpacing + 65536) << "round " << round;
    }
  }
  const auto middle = document->OpenContents(0, 12345678);
  std::vector<std::byte> piece(10);
  ASSERT_EQ(middle->Read(piece), 10u);
  EXPECT_EQ(AsText(piece), large.substr(12345678, 10));
}

}  // namespace
}  // namespace tomelet
