// extract writes the tree below its folder and refuses, before writing anything, every entry
// whose name would leave it.
#include <gtest/gtest.h>

#include <functional>

#include "tests/support/TestDocument.h"
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
  void SetUp() override { SampleDocument().WriteTo(document_); }

  TScratchFolder folder_;
  fs::path document_ = folder_ / "doc.tlt";
  fs::path target_ = folder_ / "out";
};

TEST_F(Extract, WritesEveryEntryWithItsFolders) {
  const auto result = RunTool({"extract", document_.string(), "-C", target_.string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadFile(target_ / "index.htm"), kSamplePage);
  EXPECT_EQ(ReadFile(target_ / "images" / "logo.png"), kSampleBinary);
  EXPECT_EQ(ReadFile(target_ / "guide" / "intro.htm"), "<p>Intro</p>");
  EXPECT_TRUE(fs::exists(target_ / "caf\xC3\xA9.htm"));
  EXPECT_FALSE(fs::exists(target_ / "-config-")) << "the options belong to the document";
  EXPECT_EQ(CountFiles(target_), 4u);
  // Asked for by name, the record is written like any entry.
  ASSERT_EQ(
      RunTool({"extract", document_.string(), "-C", target_.string(), "--", "-config-"}).exitCode,
      0);
  EXPECT_EQ(fs::file_size(target_ / "-config-"), 2872u);
}

TEST_F(Extract, ShellPatternsAndSlashesSelectEntries) {
  struct Selection {
    std::vector<std::string> names;
    std::vector<std::string> files;
  };
  const std::vector<Selection> selections = {
      {{"*.htm"}, {"index.htm", "guide/intro.htm", "caf\xC3\xA9.htm"}},
      {{"guide/*"}, {"guide/intro.htm"}},
      {{"GUIDE/intro.htm", "images/*.PNG"}, {"guide/intro.htm", "images/logo.png"}},
      {{"*"}, {"index.htm", "guide/intro.htm", "caf\xC3\xA9.htm", "images/logo.png"}},
  };
  for (const auto& selection : selections) {
    fs::remove_all(target_);
    auto args = std::vector<std::string>{"extract", document_.string(), "-C", target_.string()};
    args.insert(args.end(), selection.names.begin(), selection.names.end());
    const auto result = RunTool(args);
    ASSERT_EQ(result.exitCode, 0) << selection.names.front() << ": " << result.err;
    for (const auto& file : selection.files) {
      EXPECT_TRUE(fs::exists(target_ / file)) << selection.names.front() << ": " << file;
    }
    EXPECT_EQ(CountFiles(target_), selection.files.size()) << selection.names.front();
  }
  const auto none = RunTool({"extract", document_.string(), "-C", target_.string(), "*.pdf"});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_EQ(none.LastErrorLine(), "*.pdf not found in archive");
}

// A folder given where a name goes is answered with -C, and a folder that cannot be made with
// the system's reason rather than the missing folder the next step then finds.
TEST_F(Extract, AFolderInPlaceOfANameOrOneThatCannotBeMadeIsExplained) {
  const auto named = RunTool({"extract", document_.string(), "outdir"});
  EXPECT_EQ(named.exitCode, 1);
  EXPECT_EQ(
      named.LastErrorLine(),
      "outdir not found in archive (to extract into the folder outdir, give it as -C outdir)");
  const auto page = RunTool({"extract", document_.string(), "nothing.htm"});
  EXPECT_EQ(page.LastErrorLine(), "nothing.htm not found in archive");

  // sysfs refuses a new folder even to root.
  const fs::path refused = "/sys/tomelet-extract-test";
  const auto made = RunTool({"extract", document_.string(), "-C", (refused / "sub").string()});
  EXPECT_EQ(made.exitCode, 1);
  EXPECT_TRUE(made.LastErrorLine().starts_with("Cannot create folder " + refused.string() + ": "))
      << made.err;
  EXPECT_FALSE(made.LastErrorLine().ends_with("No such file or directory")) << made.err;
}

TEST_F(Extract, NamesSelectEntriesAsLookupsMatchThem) {
  const auto result = RunTool(
      {"extract", document_.string(), "-C", target_.string(), "GUIDE\\Intro.htm", "index.htm"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(fs::exists(target_ / "guide" / "intro.htm"));
  EXPECT_TRUE(fs::exists(target_ / "index.htm"));
  EXPECT_EQ(CountFiles(target_), 2u);
}

TEST_F(Extract, ReplacesFilesAndLinksInTheFolderWithoutWritingThroughThem) {
  fs::create_directories(target_ / "images");
  const auto outside = folder_ / "outside";
  WriteFile(outside / "hard", "outside, hard-linked");
  WriteFile(outside / "soft", "outside, symbolically linked");
  fs::create_hard_link(outside / "hard", target_ / "index.htm");
  fs::create_symlink(outside / "soft", target_ / "images" / "logo.png");
  WriteFile(target_ / "guide" / "intro.htm",
            "old contents, longer than the new" + std::string(5000, '.'));

  const auto result = RunTool({"extract", document_.string(), "-C", target_.string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadFile(outside / "hard"), "outside, hard-linked");
  EXPECT_EQ(ReadFile(outside / "soft"), "outside, symbolically linked");
  EXPECT_EQ(ReadFile(target_ / "index.htm"), kSamplePage);
  EXPECT_FALSE(fs::is_symlink(target_ / "images" / "logo.png"));
  EXPECT_EQ(ReadFile(target_ / "images" / "logo.png"), kSampleBinary);
  EXPECT_EQ(ReadFile(target_ / "guide" / "intro.htm"), "<p>Intro</p>");
}

// What the folder holds or what the entries mean together, found before any file is written:
// a document whose last entry cannot land leaves the folder exactly as it was.
struct LateRefusal {
  std::string label;
  std::function<void(TTestDocument&, const fs::path& target, const fs::path& outside)> setUp;
  std::string reason;
};

class ExtractRefusal : public ::testing::TestWithParam<LateRefusal> {};

TEST_P(ExtractRefusal, LeavesTheFolderAsItWas) {
  TScratchFolder folder;
  const auto target = folder / "out";
  const auto outside = folder / "outside";
  fs::create_directories(target);
  fs::create_directories(outside);
  WriteFile(target / "first.htm", "old");
  TTestDocument written;
  written.Entry("first.htm", "new").Entry("sub\\second.htm", "new");
  GetParam().setUp(written, target, outside);
  const auto document = written.WriteTo(folder / "doc.tlt");

  const auto result = RunTool({"extract", document.string(), "-C", target.string()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.LastErrorLine().find(GetParam().reason), std::string::npos) << result.err;
  EXPECT_EQ(ReadFile(target / "first.htm"), "old");
  EXPECT_FALSE(fs::exists(target / "sub"));
  EXPECT_EQ(CountFiles(outside), 0u);
  for (const auto& item : fs::recursive_directory_iterator(target)) {
    EXPECT_FALSE(item.path().filename().string().starts_with(".tomelet-")) << item.path();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractRefusal,
    ::testing::Values(
        LateRefusal{"link_where_a_folder_goes",
                    [](TTestDocument& document, const fs::path& target, const fs::path& outside) {
                      document.Entry("guide\\x.htm", "new");
                      fs::create_directory_symlink(outside, target / "guide");
                    },
                    "symbolic link"},
        LateRefusal{"file_where_a_folder_goes",
                    [](TTestDocument& document, const fs::path& target, const fs::path&) {
                      document.Entry("guide\\x.htm", "new");
                      WriteFile(target / "guide", "a file");
                    },
                    "a file is where a folder belongs"},
        LateRefusal{"folder_where_the_file_goes",
                    [](TTestDocument& document, const fs::path& target, const fs::path&) {
                      document.Entry("x.htm", "new");
                      fs::create_directories(target / "x.htm");
                    },
                    "a folder is where the file belongs"},
        LateRefusal{"file_and_folder_at_once",
                    [](TTestDocument& document, const fs::path&, const fs::path&) {
                      document.Entry("page", "new");
                      document.Entry("page\\x.htm", "new");
                    },
                    "another entry needs a folder of that name"},
        LateRefusal{"name_too_long_as_utf8",
                    [](TTestDocument& document, const fs::path&, const fs::path&) {
                      document.Entry(std::string(255, '\xE9'), "new");
                    },
                    "longer than 255 bytes as UTF-8"},
        LateRefusal{"damaged_last_entry",
                    [](TTestDocument& document, const fs::path&, const fs::path&) {
                      document.WrongCrc("damaged.htm", "evil");
                    },
                    "failed CRC check"},
        // The readers ahead are held back by their memory budget when the damage is found; they
        // must stop rather than keep the program from ending.
        LateRefusal{"damaged_entry_before_many_large_ones",
                    [](TTestDocument& document, const fs::path&, const fs::path&) {
                      document.WrongCrc("damaged.htm", "evil");
                      for (int i = 0; i < 12; ++i) {
                        document.Entry("large" + std::to_string(i) + ".htm",
                                       std::string(std::size_t{6} << 20, 'x'));
                      }
                    },
                    "failed CRC check"}),
    [](const auto& info) { return info.param.label; });

struct HostileEntry {
  std::string label;
  std::string path;
  std::string fileName;
};

class HostileArchive : public ::testing::TestWithParam<HostileEntry> {};

TEST_P(HostileArchive, IsRefusedBeforeAnythingIsWritten) {
  TScratchFolder folder;
  const auto document = TTestDocument()
                            .Entry("harmless.htm", "first")
                            .Stored(GetParam().path + GetParam().fileName, "evil")
                            .WriteTo(folder / "hostile.tlt");
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
