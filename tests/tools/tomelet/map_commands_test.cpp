// pack --contents, contents and keywords: the contents given as JSON or as a sitemap page, found
// in the pages without them, and refused when not valid; keywords as lines and as JSON.
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "tests/support/TestDocument.h"
#include "tool_process.h"

namespace tomelet::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class MapCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1);
    WriteFile(source_ / "index.html",
              "<html><head><title>Start</title></head><body><ul><li><a href='guide/a.html'>"
              "Guide A</a><ul><li><a href='guide/a.html#more'>More</a></li></ul></li>"
              "<li><a href='b.html'>B</a></li><li><a href='index.html'>Home</a></li></ul>"
              "</body></html>");
    WriteFile(source_ / "guide" / "a.html",
              "<html><head><title>A - Docs</title></head><body><h1 id='a'>Page A</h1>"
              "<dl><dt id='tool.run'>tool.run(args)</dt><dd>Runs.</dd></dl></body></html>");
    WriteFile(source_ / "b.html", "<html><head><title>B</title></head><body></body></html>");
  }

  ToolResult Pack(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"pack", source_.string(), "-o", document_.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunTool(args);
  }

  TScratchFolder folder_;
  fs::path source_ = folder_ / "src";
  fs::path document_ = folder_ / "doc.tlt";
};

TEST_F(MapCommands, ContentsFoundInThePagesAndKeywordsAsLinesAndJson) {
  ASSERT_EQ(Pack().exitCode, 0);
  const auto lines = RunTool({"contents", document_.string()});
  EXPECT_EQ(lines.exitCode, 0) << lines.err;
  EXPECT_EQ(lines.out,
            "Guide A\tguide/a.html\n  More\tguide/a.html#more\nB\tb.html\nHome\tindex.html\n");
  const auto tree = RunTool({"contents", "--json", document_.string()});
  const auto treeJson = json::parse(tree.out);
  EXPECT_EQ(treeJson["version"], 1);
  EXPECT_EQ(treeJson["contents"][0]["children"][0]["path"], "guide/a.html#more");

  const auto found = RunTool({"keywords", document_.string(), "run"});
  EXPECT_EQ(found.exitCode, 0);
  EXPECT_EQ(found.out, "tool.run\tguide/a.html#tool.run\tA - Docs\n");
  const auto asJson = RunTool({"keywords", document_.string(), "PAGE", "--json", "--limit", "1"});
  EXPECT_EQ(json::parse(asJson.out),
            json::parse(R"({"version": 1, "query": "PAGE", "keywords": [{"term": "Page A",
                             "path": "guide/a.html#a", "title": "A - Docs", "kind": "title"}]})"));
  const auto none = RunTool({"keywords", document_.string(), "zzz"});
  EXPECT_EQ(none.exitCode, 0);
  EXPECT_EQ(none.out, "");
  EXPECT_NE(none.err.find("no keywords match \"zzz\""), std::string::npos);
  // The stored map answers: nothing is derived into the cache.
  EXPECT_FALSE(fs::exists(folder_ / "cache" / "tomelet"));
}

TEST_F(MapCommands, ContentsGivenAsJsonOrSitemapAndRefusedWhenNotValid) {
  WriteFile(folder_ / "toc.json",
            R"([{"title": "Only B", "path": "b.html", "children": [{"title": "Gone",
                "path": "gone.html"}]}])");
  const auto packed = Pack({"--contents", (folder_ / "toc.json").string()});
  EXPECT_EQ(packed.exitCode, 0);
  EXPECT_NE(packed.err.find("warning: the contents link to \"gone.html\", which is not in the "
                            "folder"),
            std::string::npos)
      << packed.err;
  EXPECT_EQ(RunTool({"contents", document_.string()}).out, "Only B\tb.html\n  Gone\tgone.html\n");

  WriteFile(folder_ / "toc.hhc",
            "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Sitemap A\">"
            "<param name=\"Local\" value=\"guide\\a.html\"></OBJECT></UL>");
  ASSERT_EQ(Pack({"--contents", (folder_ / "toc.hhc").string()}).exitCode, 0);
  EXPECT_EQ(RunTool({"contents", document_.string()}).out, "Sitemap A\tguide/a.html\n");

  WriteFile(folder_ / "bad.json", R"([{"path": "b.html"}])");
  fs::remove(document_);
  const auto refused = Pack({"--contents", (folder_ / "bad.json").string()});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("The contents file is not valid: every item needs a \"title\""),
            std::string::npos)
      << refused.err;
  EXPECT_FALSE(fs::exists(document_));
}

}  // namespace
}  // namespace tomelet::testing
