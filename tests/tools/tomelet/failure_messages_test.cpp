// Every failure ends with exit code 1 and the reader's own text as the last line on stderr.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>

#include "tests/support/TestDocument.h"
#include "tool_process.h"

namespace tomelet::testing {
namespace {

struct FailureCase {
  std::string label;
  // Turns a freshly written sample document into the damaged one.
  std::function<void(const std::filesystem::path&)> damage;
  std::vector<std::string> command;  // "FILE" stands for the document
  std::string lastLine;              // and "FILE" at its end for the document's path
};

class FailureMessage : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureMessage, EndsWithExitOneAndTheMessage) {
  TScratchFolder folder;
  const auto document = folder / "doc.tlt";
  SampleDocument().WriteTo(document);
  GetParam().damage(document);
  auto args = GetParam().command;
  for (auto& arg : args) {
    if (arg == "FILE") {
      arg = document.string();
    }
  }
  std::string lastLine = GetParam().lastLine;
  if (lastLine.ends_with("FILE")) {
    lastLine.replace(lastLine.size() - 4, 4, document.string());
  }
  const auto result = RunTool(args);
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_EQ(result.LastErrorLine(), lastLine);
}

void Untouched(const std::filesystem::path&) {}

void RemoveFile(const std::filesystem::path& file) {
  std::filesystem::remove(file);
}

void VersionThree(const std::filesystem::path& file) {
  PatchByte(file, -36 + 8, 3);
}

// The registry sits just before the trailer; spoiling its zlib header breaks inflation.
void SpoilRegistry(const std::filesystem::path& file) {
  const auto registrySize = TrailerInt32(file, 12);
  PatchByte(file, -36 - registrySize, 0xFF);
  PatchByte(file, -36 - registrySize + 1, 0xFF);
}

// The first entry is index.htm, deflated, at offset 0: its zlib header no longer checks.
void SpoilFirstEntry(const std::filesystem::path& file) {
  PatchByte(file, 0, 0xFF);
  PatchByte(file, 1, 0xFF);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailureMessage,
    ::testing::Values(
        FailureCase{"missing", RemoveFile, {"list", "FILE"}, "Archive file not found: FILE"},
        FailureCase{"empty_name", Untouched, {"list", ""}, "No document named: FILE is empty"},
        FailureCase{"version",
                    VersionThree,
                    {"info", "FILE"},
                    "The archive was created with a different version of ZLBArchive (v3)"},
        FailureCase{"registry", SpoilRegistry, {"list", "FILE"}, "Error reading registry"},
        FailureCase{"not_found", Untouched, {"cat", "FILE", "x.htm"}, "x.htm not found in archive"},
        FailureCase{"extract_not_found",
                    Untouched,
                    {"extract", "FILE", "-C", "/nonexistent-never-created", "nope.htm"},
                    "nope.htm not found in archive"},
        FailureCase{"verify_archive_crc",
                    SpoilFirstEntry,
                    {"verify", "FILE"},
                    "The archive appears to be corrupted"},
        FailureCase{"cat_corrupt",
                    SpoilFirstEntry,
                    {"cat", "FILE", "index.htm"},
                    "The archive appears to be corrupted"}),
    [](const auto& info) { return info.param.label; });

TEST(FailureMessage, EntryWithWrongCrcIsNamedByVerify) {
  TScratchFolder folder;
  TTestDocument()
      .Entry("fine.htm", "fine")
      .WrongCrc("pages\\bad.htm", "hello")
      .WriteTo(folder / "doc.tlt");

  const auto verify = RunTool({"verify", (folder / "doc.tlt").string()});
  EXPECT_EQ(verify.exitCode, 1);
  EXPECT_EQ(verify.LastErrorLine(), "bad.htm failed CRC check");
  EXPECT_NE(verify.err.find("Damaged entry: pages/bad.htm\n"), std::string::npos) << verify.err;
  // cat checks too, so damaged bytes never reach a pipe as if they were the entry.
  const auto cat = RunTool({"cat", (folder / "doc.tlt").string(), "pages\\bad.htm"});
  EXPECT_EQ(cat.exitCode, 1);
  EXPECT_TRUE(cat.out.empty());
}

// A name may carry controls that retitle the terminal or clear it, or a newline that forges a
// row: every command shows it escaped to a person and exact in JSON.
TEST(FailureMessage, HostileNamesReachTheTerminalEscaped) {
  TScratchFolder folder;
  const auto document = (folder / "doc.tlt").string();
  const std::string hostile = "bad\x1b]0;owned\x07\x1b[2J.htm";
  const std::string shown = "bad\\x1b]0;owned\\x07\\x1b[2J.htm";
  TTestDocument()
      .Entry("page.htm\n           9            9  stored        00000000  forged.htm", "page")
      .Entry(
          "csi\xC2\x9B"
          "2J.htm",
          "C1")
      .WrongCrc(hostile, "hello")
      .WriteTo(document);

  const auto list = RunTool({"list", document});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 3 + 3) << list.out;
  EXPECT_NE(list.out.find("  page.htm\\n    "), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("  csi\\u009b2J.htm\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("  " + shown + "\n"), std::string::npos) << list.out;
  const auto listing = nlohmann::json::parse(RunTool({"list", "--json", document}).out);
  EXPECT_EQ(listing["entries"][2]["path"], hostile);

  const auto verify = RunTool({"verify", document});
  EXPECT_NE(verify.err.find("Damaged entry: " + shown + "\n"), std::string::npos) << verify.err;
  const auto extract = RunTool({"extract", document, "-C", (folder / "out").string()});
  const auto cat = RunTool({"cat", document, hostile});
  for (const auto* result : {&verify, &extract, &cat}) {
    EXPECT_EQ(result->exitCode, 1);
    EXPECT_EQ(result->LastErrorLine(), shown + " failed CRC check");
    EXPECT_EQ(result->err.find('\x1b'), std::string::npos) << result->err;
  }
  EXPECT_EQ(RunTool({"cat", document, "gone\x1b[2J"}).LastErrorLine(),
            "gone\\x1b[2J not found in archive");
}

TEST(FailureMessage, EncryptedEntryNeedsAPassword) {
  TScratchFolder folder;
  TTestDocument().Encrypted("secret.htm", "ABCD").WriteTo(folder / "doc.tlt");
  const auto result = RunTool({"cat", (folder / "doc.tlt").string(), "secret.htm"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.LastErrorLine(), "No password given for encrypted file");
}

// A command line the tool cannot read exits with 2, names what is wrong and points at --help.
TEST(FailureMessage, UsageErrorsExitTwoWithTheReasonAndHelpExitsZero) {
  struct Usage {
    std::vector<std::string> args;
    std::string reason;
  };
  const std::vector<Usage> usages = {
      {{},
       "A command (list, cat, verify, info, extract, pack, import, serve, search, index, "
       "contents, keywords) is required"},
      {{"lst", "x.tlt"}, "unknown command \"lst\", did you mean \"list\"?\n"},
      {{"help", "lst"}, "unknown command \"lst\", did you mean \"list\"?\n"},
      {{"x.tlt"}, "unknown command \"x.tlt\"; the commands are list, cat, verify, info"},
      {{"--bogus"}, "The following argument was not expected: --bogus"},
      {{"list"}, "FILE is required"},
      {{"pack", "dir", "-o", "x.tlt", "--level", "huge"}, "huge"},
  };
  for (const auto& usage : usages) {
    const auto result = RunTool(usage.args);
    EXPECT_EQ(result.exitCode, 2) << result.err;
    EXPECT_NE(result.err.find(usage.reason), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Run with --help"), std::string::npos) << result.err;
  }
  for (const std::string command : {"list", "cat", "verify", "info", "extract", "pack"}) {
    const auto help = RunTool({command, "--help"});
    EXPECT_EQ(help.exitCode, 0) << command;
    EXPECT_NE(help.out.find("Usage"), std::string::npos) << command;
  }
  // help CMD shows what CMD --help shows, and help alone the tool's own.
  for (const std::string command : {"pack", "serve", "extract"}) {
    const auto help = RunTool({"help", command});
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_EQ(help.out, RunTool({command, "--help"}).out);
  }
  const auto overview = RunTool({"help"});
  EXPECT_EQ(overview.exitCode, 0) << overview.err;
  EXPECT_EQ(overview.out, RunTool({"--help"}).out);
  const auto version = RunTool({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_TRUE(version.out.starts_with("tomelet ")) << version.out;
}

// "/" is read as the folder separator only when the name as given finds nothing.
TEST(EntryNames, CatTakesSlashesWhereTheArchiveHasBackslashes) {
  TScratchFolder folder;
  const auto document = (folder / "doc.tlt").string();
  SampleDocument().WriteTo(document);
  const auto result = RunTool({"cat", document, "guide/intro.htm"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "<p>Intro</p>");
  EXPECT_EQ(RunTool({"cat", document, "guide/missing.htm"}).LastErrorLine(),
            "guide/missing.htm not found in archive");
}

// Names stored in Windows-1252 are found as the viewer finds them, and a typed name that is not
// there comes back as it was typed, never read again as Windows-1252.
TEST(EntryNames, AccentedNamesAreFoundAndShownAsTyped) {
  TScratchFolder folder;
  const auto document = (folder / "doc.tlt").string();
  TTestDocument()
      .Entry("caf\xe9.htm", "legacy")
      .Entry("d\xe9j\xe0\\vu.txt", "seen")
      .WriteTo(document);
  EXPECT_EQ(RunTool({"cat", document, "caf\xc3\xa9.htm"}).out, "legacy");
  EXPECT_EQ(RunTool({"cat", document, "d\xc3\xa9j\xc3\xa0/vu.txt"}).out, "seen");
  for (const std::string typed : {"caf\xc3\x89.htm", "D\xc3\x89J\xc3\x80\\vu.txt"}) {
    for (const auto& command : {"cat", "extract"}) {
      const auto result = RunTool({command, document, "--", typed});
      EXPECT_EQ(result.LastErrorLine(), typed + " not found in archive") << command;
    }
  }
}

TEST(FailureMessage, AnEntryNameThatLooksLikeAnOptionGetsAHintAtTheDoubleDash) {
  TScratchFolder folder;
  const auto document = (folder / "doc.tlt").string();
  SampleDocument().WriteTo(document);
  const auto result = RunTool({"cat", document, "-config-"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("put \"--\" before it"), std::string::npos) << result.err;
  EXPECT_EQ(RunTool({"cat", document, "--", "-config-"}).exitCode, 0);
}

}  // namespace
}  // namespace tomelet::testing
