// pack: byte-identical output for the same input, a round trip through list and info, the
// viewer stub, what is left out, and the names and folders it refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "tests/support/TestDocument.h"
#include "tool_process.h"

namespace tomelet::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class Pack : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(source_ / "index.htm", "<h1>Welcome</h1>" + std::string(3000, 'w'));
    WriteFile(source_ / "Zeta.htm", "upper case sorts first");
    WriteFile(source_ / "guide" / "intro.htm", "<p>intro</p>");
    WriteFile(source_ / "guide" / "read me.htm", "spaces");
    WriteFile(source_ / "b" / "c.htm", "nested");
    WriteFile(source_ / "b.htm", "beside the folder");
    WriteFile(source_ / "images" / "tiny.png", std::string("\x89PNG\r\n\x1a\n", 8));
    WriteFile(folder_ / "logo.ico", std::string("\0\0\1\0", 4) + std::string(60, 'i'));
    WriteFile(folder_ / "options.json", R"({"StartPage": "index.htm", "WindowWidth": 900,
        "WindowHeight": 650, "WindowBorder": 2, "CenterWindow": true, "AllowCopy": true,
        "ShowToolBar": false, "OpenOutsideMasks": "*.exe;"})");
  }

  ToolResult PackTo(const fs::path& out, std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"pack", source_.string(), "-o", out.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunTool(args);
  }

  std::vector<std::string> StandardExtras() const {
    return {"--options", (folder_ / "options.json").string(), "--logo",
            (folder_ / "logo.ico").string()};
  }

  // The archive paths of the document's files, its own entries left out.
  std::vector<std::string> PackedFiles(std::vector<std::string> extra) {
    const auto packed = PackTo(folder_ / "doc.tlt", extra);
    EXPECT_EQ(packed.exitCode, 0) << packed.err;
    const auto listing =
        json::parse(RunTool({"list", "--json", (folder_ / "doc.tlt").string()}).out);
    std::vector<std::string> paths;
    for (const auto& entry : listing["entries"]) {
      if (!entry["path"].get<std::string>().starts_with("-")) {
        paths.push_back(entry["stored_path"]);
      }
    }
    return paths;
  }

  TScratchFolder folder_;
  fs::path source_ = folder_ / "src";
};

TEST_F(Pack, SameInputGivesTheSameBytes) {
  ASSERT_EQ(PackTo(folder_ / "one.tlt", StandardExtras()).exitCode, 0);
  ASSERT_EQ(PackTo(folder_ / "two.tlt", StandardExtras()).exitCode, 0);
  EXPECT_EQ(ReadFile(folder_ / "one.tlt"), ReadFile(folder_ / "two.tlt"));
}

TEST_F(Pack, ListShowsSortedFilesThenConfigLogoMapAndIndex) {
  const auto packed = PackTo(folder_ / "doc.tlt", StandardExtras());
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  const auto listing = json::parse(RunTool({"list", "--json", (folder_ / "doc.tlt").string()}).out);
  std::vector<std::string> paths;
  for (const auto& entry : listing["entries"]) {
    paths.push_back(entry["stored_path"]);
  }
  EXPECT_EQ(paths, (std::vector<std::string>{"Zeta.htm", "b.htm", "b\\c.htm", "guide\\intro.htm",
                                             "guide\\read me.htm", "images\\tiny.png", "index.htm",
                                             "-config-", "-logo-", "-map-", "-index-"}));
  EXPECT_EQ(listing["version"], 2);
  EXPECT_EQ(listing["registry_compressed"], true);
  EXPECT_EQ(listing["entries"][6]["method"], 0) << "a compressible page is deflated";
  EXPECT_EQ(listing["entries"][5]["method"], 1) << "eight PNG bytes do not pay for deflating";
  EXPECT_EQ(listing["entries"][9]["method"], 0) << "the map is read whole, so deflated";
  EXPECT_EQ(listing["entries"][10]["method"], 1) << "the index is opened in place, so stored";
  const auto verify = RunTool({"verify", (folder_ / "doc.tlt").string()});
  EXPECT_EQ(verify.exitCode, 0) << verify.err;
  EXPECT_NE(verify.out.find("OK: 11 entries"), std::string::npos);
  EXPECT_NE(verify.out.find("OK: search index of 6 pages"), std::string::npos);
}

TEST_F(Pack, InfoReadsBackTheOptionsWithTheLogoNamed) {
  ASSERT_EQ(PackTo(folder_ / "doc.tlt", StandardExtras()).exitCode, 0);
  const auto info = json::parse(RunTool({"info", "--json", (folder_ / "doc.tlt").string()}).out);
  const auto& options = info["options"];
  EXPECT_EQ(options["StartPage"], "index.htm");
  EXPECT_EQ(options["WindowBorder"], 2);
  EXPECT_EQ(options["WindowHeight"], 650);
  EXPECT_EQ(options["CenterWindow"], true);
  EXPECT_EQ(options["ShowToolBar"], false);
  EXPECT_EQ(options["OpenOutsideMasks"], "*.exe;");
  EXPECT_EQ(options["LogoSource"], "logo.ico");
  // What info prints is accepted back by pack unchanged.
  WriteFile(folder_ / "again.json", options.dump());
  ASSERT_EQ(PackTo(folder_ / "again.tlt", {"--options", (folder_ / "again.json").string(), "--logo",
                                           (folder_ / "logo.ico").string()})
                .exitCode,
            0);
  EXPECT_EQ(ReadFile(folder_ / "again.tlt"), ReadFile(folder_ / "doc.tlt"));
}

TEST_F(Pack, StubResultStaysExecutableAndOpenable) {
  const auto stub = folder_ / "viewer-stub";
  fs::copy_file("/bin/true", stub);
  const auto packed = PackTo(folder_ / "viewer", {"--stub", stub.string()});
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  struct stat info {};
  ASSERT_EQ(stat((folder_ / "viewer").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0755u);
  EXPECT_EQ(ReadFile(folder_ / "viewer").substr(0, fs::file_size(stub)), ReadFile(stub));
  EXPECT_EQ(RunProgram((folder_ / "viewer").string(), {}).exitCode, 0);
  const auto listing = json::parse(RunTool({"list", "--json", (folder_ / "viewer").string()}).out);
  EXPECT_EQ(listing["archive_start"], fs::file_size(stub));
  EXPECT_EQ(RunTool({"cat", (folder_ / "viewer").string(), "b\\c.htm"}).out, "nested");
}

TEST_F(Pack, OutputInsideTheFolderIsNotPackedIntoItself) {
  ASSERT_EQ(PackTo(source_ / "self.tlt").exitCode, 0);
  const auto first = ReadFile(source_ / "self.tlt");
  ASSERT_EQ(PackTo(source_ / "self.tlt").exitCode, 0);
  EXPECT_EQ(ReadFile(source_ / "self.tlt"), first);
}

TEST_F(Pack, LevelNoneStoresEverything) {
  ASSERT_EQ(PackTo(folder_ / "doc.tlt", {"--level", "none"}).exitCode, 0);
  const auto listing = json::parse(RunTool({"list", "--json", (folder_ / "doc.tlt").string()}).out);
  for (const auto& entry : listing["entries"]) {
    EXPECT_EQ(entry["method"], 1) << entry["path"];
  }
}

// Without an options file the document still opens as a usable window at its index page; keys an
// options file gives are kept, zero and false included.
TEST_F(Pack, MissingOptionsMakeAUsableDocument) {
  ASSERT_EQ(PackTo(folder_ / "plain.tlt").exitCode, 0);
  const auto plain = json::parse(RunTool({"info", "--json", (folder_ / "plain.tlt").string()}).out);
  const auto& options = plain["options"];
  EXPECT_EQ(options["StartPage"], "index.htm");
  EXPECT_EQ(options["WindowWidth"], 1024);
  EXPECT_EQ(options["WindowHeight"], 768);
  EXPECT_EQ(options["WindowBorder"], 2);
  for (const char* key : {"CenterWindow", "ShowToolBar", "ShowButtonCaptions", "ShowStatusBar",
                          "AllowCopy", "AllowFind", "AllowPrint", "AllowFontSize"}) {
    EXPECT_EQ(options[key], true) << key;
  }

  WriteFile(folder_ / "some.json", R"({"StartPage": "missing.htm", "AllowPrint": false,
      "WindowWidth": 0})");
  const auto some = PackTo(folder_ / "some.tlt", {"--options", (folder_ / "some.json").string()});
  ASSERT_EQ(some.exitCode, 0) << some.err;
  EXPECT_NE(some.err.find("warning: the start page \"missing.htm\" names no file"),
            std::string::npos)
      << some.err;
  const auto kept = json::parse(RunTool({"info", "--json", (folder_ / "some.tlt").string()}).out);
  EXPECT_EQ(kept["options"]["AllowPrint"], false);
  EXPECT_EQ(kept["options"]["WindowWidth"], 0);
  EXPECT_EQ(kept["options"]["WindowHeight"], 768);
}

// A document becomes a folder, its options and its logo, and packs back to the same bytes.
TEST_F(Pack, ADocumentRoundTripsThroughAFolderItsOptionsAndItsLogo) {
  const auto original = folder_ / "original.tlt";
  ASSERT_EQ(PackTo(original, StandardExtras()).exitCode, 0);
  const auto pages = folder_ / "pages";
  ASSERT_EQ(RunTool({"extract", original.string(), "-C", pages.string()}).exitCode, 0);
  WriteFile(folder_ / "info.json", RunTool({"info", "--json", original.string()}).out);
  WriteFile(folder_ / "logo-again.ico", RunTool({"cat", original.string(), "--", "-logo-"}).out);
  const auto again = folder_ / "again.tlt";
  const auto packed =
      RunTool({"pack", pages.string(), "-o", again.string(), "--options",
               (folder_ / "info.json").string(), "--logo", (folder_ / "logo-again.ico").string()});
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  EXPECT_EQ(ReadFile(again), ReadFile(original));
}

// The scratch copy behind "-o -" lies in the program's temporary folder: TMP first, and a
// variable naming no folder is passed over rather than failing the pack.
TEST_F(Pack, StandardOutputFollowsTmpAndPassesOverAMissingTmpdir) {
  fs::create_directory(folder_ / "scratch");
  RunningTool pack(
      {"pack", source_.string(), "-o", "-"},
      {"TMP=" + (folder_ / "scratch").string(), "TMPDIR=" + (folder_ / "missing").string()});
  const auto piped = pack.Wait();
  ASSERT_EQ(piped.exitCode, 0) << piped.err;
  ASSERT_EQ(PackTo(folder_ / "file.tlt").exitCode, 0);
  EXPECT_EQ(piped.out, ReadFile(folder_ / "file.tlt"));
}

// The document goes to standard output with "-"; a link, a pipe or a folder is never replaced.
TEST_F(Pack, WritesToStandardOutputAndNeverReplacesWhatIsNotAFile) {
  ASSERT_EQ(PackTo(folder_ / "file.tlt").exitCode, 0);
  const auto piped = PackTo("-");
  ASSERT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_EQ(piped.out, ReadFile(folder_ / "file.tlt"));

  WriteFile(folder_ / "linked.tlt", "kept");
  fs::create_symlink(folder_ / "linked.tlt", folder_ / "link.tlt");
  ASSERT_EQ(::mkfifo((folder_ / "pipe").c_str(), 0600), 0);
  fs::create_directory(folder_ / "folder.tlt");
  for (const char* target : {"link.tlt", "pipe", "folder.tlt"}) {
    const auto refused = PackTo(folder_ / target);
    EXPECT_EQ(refused.exitCode, 1) << target;
    EXPECT_NE(refused.LastErrorLine().find("is not a regular file"), std::string::npos)
        << refused.err;
  }
  EXPECT_TRUE(fs::is_symlink(folder_ / "link.tlt"));
  EXPECT_EQ(ReadFile(folder_ / "linked.tlt"), "kept");
  EXPECT_TRUE(fs::is_fifo(folder_ / "pipe"));
}

// A build folder's own records stay out of the document unless asked for; patterns leave out
// whole folders and, since "*" crosses folders, files at any depth.
TEST_F(Pack, HiddenNamesAreLeftOutUnlessKeptAndExcludedPathsAlways) {
  fs::remove_all(source_);
  WriteFile(source_ / "index.htm", "start");
  WriteFile(source_ / ".buildinfo", "config: 1");
  WriteFile(source_ / ".doctrees" / "index.doctree", "tree");
  WriteFile(source_ / "guide" / ".notes.htm", "draft");
  WriteFile(source_ / "guide" / "intro.htm", "intro");
  WriteFile(source_ / "guide" / "app.js.map", "{}");
  WriteFile(source_ / "_sources" / "index.txt", "source");
  WriteFile(source_ / "app.js", "code");

  EXPECT_EQ(PackedFiles({}),
            (std::vector<std::string>{"_sources\\index.txt", "app.js", "guide\\app.js.map",
                                      "guide\\intro.htm", "index.htm"}));
  EXPECT_EQ(PackedFiles({"--hidden"}),
            (std::vector<std::string>{".buildinfo", ".doctrees\\index.doctree",
                                      "_sources\\index.txt", "app.js", "guide\\.notes.htm",
                                      "guide\\app.js.map", "guide\\intro.htm", "index.htm"}));
  EXPECT_EQ(PackedFiles({"--exclude", "_sources", "--exclude", "*.map", "--exclude", "guide/i*"}),
            (std::vector<std::string>{"app.js", "index.htm"}));
}

// A link that leads to itself, directly or through another, cannot be packed, but the rest can.
TEST_F(Pack, ALinkLoopIsAWarningNamingTheLinkAndTheRestIsPacked) {
  fs::create_symlink("self", source_ / "self");
  fs::create_symlink("there", source_ / "guide" / "here");
  fs::create_symlink("here", source_ / "guide" / "there");
  const auto packed = PackTo(folder_ / "doc.tlt");
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  for (const char* link : {"self", "guide/here", "guide/there"}) {
    EXPECT_NE(packed.err.find(std::string("warning: skipped link loop ") + link + "\n"),
              std::string::npos)
        << packed.err;
  }
  EXPECT_EQ(RunTool({"cat", (folder_ / "doc.tlt").string(), "guide/intro.htm"}).out,
            "<p>intro</p>");
}

// A document without a page opens on nothing; the folder named is the one that has none.
TEST_F(Pack, AFolderWithoutAPageIsRefused) {
  fs::remove_all(source_);
  fs::create_directories(source_);
  const auto empty = PackTo(folder_ / "doc.tlt");
  EXPECT_EQ(empty.exitCode, 1);
  EXPECT_EQ(empty.LastErrorLine(),
            "No page to pack in " + source_.string() + " (no .htm, .html or .xhtml file)");
  WriteFile(source_ / "notes.txt", "text");
  WriteFile(source_ / ".hidden.htm", "hidden");
  WriteFile(source_ / "left" / "out.html", "excluded");
  const auto unpaged = PackTo(folder_ / "doc.tlt", {"--exclude", "left"});
  EXPECT_EQ(unpaged.exitCode, 1);
  EXPECT_NE(unpaged.LastErrorLine().find(source_.string()), std::string::npos) << unpaged.err;
  EXPECT_FALSE(fs::exists(folder_ / "doc.tlt"));
  EXPECT_EQ(PackTo(folder_ / "doc.tlt", {"--hidden"}).exitCode, 0);
}

struct BadPackInput {
  std::string label;
  std::string relativeFile;  // created below the source folder, or empty
  std::string optionsJson;   // written as the options file, or empty
  bool withLogo;
  std::string messagePart;
};

class PackRefusal : public ::testing::TestWithParam<BadPackInput> {};

TEST_P(PackRefusal, FailsWithoutWritingTheDocument) {
  TScratchFolder folder;
  WriteFile(folder / "src" / "ok.htm", "ok");
  std::vector<std::string> args{"pack", (folder / "src").string(), "-o",
                                (folder / "doc.tlt").string()};
  if (!GetParam().relativeFile.empty()) {
    WriteFile(folder / "src" / GetParam().relativeFile, "x");
  }
  if (!GetParam().optionsJson.empty()) {
    WriteFile(folder / "options.json", GetParam().optionsJson);
    args.insert(args.end(), {"--options", (folder / "options.json").string()});
  }
  if (GetParam().withLogo) {
    WriteFile(folder / "logo.ico", "icon");
    args.insert(args.end(), {"--logo", (folder / "logo.ico").string()});
  }
  const auto result = RunTool(args);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.LastErrorLine().find(GetParam().messagePart), std::string::npos) << result.err;
  EXPECT_FALSE(fs::exists(folder / "doc.tlt"));
  std::size_t leftovers = 0;
  for (const auto& item : fs::directory_iterator(folder.Path())) {
    leftovers += item.path().filename().string().starts_with("doc.tlt") ? 1 : 0;
  }
  EXPECT_EQ(leftovers, 0u) << "no temporary file stays behind";
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, PackRefusal,
    ::testing::Values(
        BadPackInput{"backslash", "a\\b.htm", "", false, "contains \"\\\""},
        BadPackInput{"long_folder", std::string(200, 'f') + "/" + std::string(60, 'g') + "/x.htm",
                     "", false, "folder part is longer than 255"},
        BadPackInput{"reserved_config", "-config-", "", false, "reserved"},
        // The viewer's lookup folds letter case, so this file would stand in for the record.
        BadPackInput{"reserved_logo_any_case", "-LoGo-", "", false, "reserved"},
        BadPackInput{"unknown_key", "", R"({"StartPage": "ok.htm", "Colour": "red"})", false,
                     "\"Colour\" is unknown"},
        BadPackInput{"not_json", "", "{StartPage:", false, "options.json"},
        BadPackInput{"logo_promised", "", R"({"LogoSource": "logo.ico"})", false, "--logo"}),
    [](const auto& info) { return info.param.label; });

}  // namespace
}  // namespace tomelet::testing
