// extract writes the tree below its folder and refuses, before writing anything, every entry
// whose name would leave it.
#include <gtest/gtest.h>

#include "document_fixture.h"
#include "tool_process.h"

namespace tomelet::testing {
namespace {

namespace fs = std::filesystem;

std::size_t CountFiles(const fs::path& folder) {
  if (!fs::exists(folder)) {
    return 0;
  }
  std::size_t count = 0;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    count += item.is_regular_file() ? 1 : 0;
  }
  return count;
}

class Extract : public ::testing::Test {
 protected:
  void SetUp() override { SampleWriter().WriteFile(document_.string()); }

  TempFolder folder_;
  fs::path document_ = folder_ / "doc.tlt";
  fs::path target_ = folder_ / "out";
};

TEST_F(Extract, WritesEveryEntryWithItsFolders) {
  const auto result = RunTool({"extract", document_.string(), "-C", target_.string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadFile(target_ / "index.htm"), kPageContents);
  EXPECT_EQ(ReadFile(target_ / "images" / "logo.png"), kBinaryContents);
  EXPECT_EQ(ReadFile(target_ / "guide" / "intro.htm"), "<p>Intro</p>");
  EXPECT_TRUE(fs::exists(target_ / "caf\xC3\xA9.htm"));
  EXPECT_EQ(fs::file_size(target_ / "-config-"), 2872u);
  EXPECT_EQ(CountFiles(target_), 5u);
}

TEST_F(Extract, NamesSelectEntriesAsLookupsMatchThem) {
  const auto result = RunTool(
      {"extract", document_.string(), "-C", target_.string(), "GUIDE\\Intro.htm", "index.htm"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(fs::exists(target_ / "guide" / "intro.htm"));
  EXPECT_TRUE(fs::exists(target_ / "index.htm"));
  EXPECT_EQ(CountFiles(target_), 2u);
}

TEST_F(Extract, ReplacesExistingFilesButNeverFollowsLinksOutOfTheFolder) {
  fs::create_directories(target_);
  const auto outside = folder_ / "outside";
  fs::create_directories(outside);
  fs::create_directory_symlink(outside, target_ / "guide");
  WriteFile(target_ / "index.htm",
            "old contents that are longer than the new ones" + std::string(5000, '.'));
  const auto result = RunTool({"extract", document_.string(), "-C", target_.string()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(CountFiles(outside), 0u);
  EXPECT_EQ(ReadFile(target_ / "index.htm"), kPageContents);
}

struct HostileEntry {
  std::string label;
  std::string path;
  std::string fileName;
};

class HostileArchive : public ::testing::TestWithParam<HostileEntry> {};

TEST_P(HostileArchive, IsRefusedBeforeAnythingIsWritten) {
  TempFolder folder;
  TZLBArchiveWriter writer;
  writer.AddEntry("harmless.htm", "first");
  TArchiveEntry hostile;
  hostile.Path = GetParam().path;
  hostile.FileName = GetParam().fileName;
  hostile.OriginalSize = 4;
  hostile.Method = kMethodStored;
  hostile.CRC = 0x8DFB3152;  // crc32("evil")
  writer.AddRawEntry(hostile, AsBytes("evil"));
  const auto document = folder / "hostile.tlt";
  writer.WriteFile(document.string());
  const auto target = folder / "a" / "b" / "out";

  const auto result = RunTool({"extract", document.string(), "-C", target.string()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.LastErrorLine().find("Refusing to extract"), std::string::npos) << result.err;
  EXPECT_NE(result.LastErrorLine().find(GetParam().fileName), std::string::npos);
  EXPECT_EQ(CountFiles(folder.Path()), 1u) << "only the document itself may exist";
}

INSTANTIATE_TEST_SUITE_P(Names, HostileArchive,
                         ::testing::Values(HostileEntry{"parent", "..\\", "x"},
                                           HostileEntry{"deep_parent", "..\\..\\..\\", "x"},
                                           HostileEntry{"absolute", "\\etc\\", "x"},
                                           HostileEntry{"drive", "", "C:x"},
                                           HostileEntry{"drive_folder", "C:\\", "x"},
                                           HostileEntry{"slashes", "", "a/../../x"},
                                           HostileEntry{"slash_absolute", "", "/tmp/x"},
                                           HostileEntry{"empty_folder", "a\\\\", "x"},
                                           HostileEntry{"dot_dot_name", "a\\", ".."}),
                         [](const auto& info) { return info.param.label; });

}  // namespace
}  // namespace tomelet::testing
