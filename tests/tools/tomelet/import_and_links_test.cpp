// tomelet import as a user runs it (default output name, typed keywords, a damaged source named
// in the last line) and verify --links on a document with known broken links.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/TestDocument.h"
#include "tool_process.h"

namespace tomelet::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class ImportAndLinks : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1); }
  TScratchFolder folder_;
};

TEST_F(ImportAndLinks, ABookImportsBesideItsNameAndKeepsItsKeywordTypes) {
  const auto book = folder_ / "mini";
  WriteFile(book / "index.html", "<html><title>Start</title><a href='arrays.html'>A</a></html>");
  WriteFile(book / "arrays.html", "<html><title>Arrays</title><h1 id='new'>Arrays</h1></html>");
  WriteFile(book / "mini.devhelp2",
            "<book xmlns='http://www.devhelp.net/book' title='Mini' link='index.html' name='mini'>"
            "<chapters><sub name='Arrays' link='arrays.html'/></chapters><functions><keyword "
            "type='function' name='g_array_new ()' link='arrays.html#new'/></functions></book>");
  const auto imported =
      RunTool({"import", (book / "mini.devhelp2").string(), "-o", (folder_ / "mini.tlt").string()});
  ASSERT_EQ(imported.exitCode, 0) << imported.err;
  const auto found = RunTool({"keywords", (folder_ / "mini.tlt").string(), "g_array", "--json"});
  EXPECT_EQ(json::parse(found.out)["keywords"][0]["type"], "function");
  EXPECT_EQ(json::parse(found.out)["keywords"][0]["path"], "arrays.html#new");
  const auto links = RunTool({"verify", "--links", (folder_ / "mini.tlt").string()});
  EXPECT_EQ(links.exitCode, 0) << links.err;
  EXPECT_NE(links.out.find("OK: 5 internal links reach their entries"), std::string::npos)
      << links.out;

  const auto damaged = folder_ / "damaged.chm";
  WriteFile(damaged, "ITSF and nothing a CHM holds");
  const auto refused = RunTool({"import", damaged.string(), "-o", (folder_ / "d.tlt").string()});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_TRUE(refused.LastErrorLine().starts_with(damaged.string() + ": ")) << refused.err;
  EXPECT_FALSE(fs::exists(folder_ / "d.tlt"));
}

TEST_F(ImportAndLinks, VerifyLinksListsEveryLinkThatReachesNoEntryWithItsPage) {
  const auto site = folder_ / "site";
  WriteFile(site / "index.html",
            "<html><head><link rel=stylesheet href='style.css'><title>I</title></head><body>"
            "<a href='Guide/'>guide</a><a href='#top'>top</a><a href='https://example.org/x'>x</a>"
            "<a href='gone.html#part'>gone</a><img src='pictures/missing.png'></body></html>");
  WriteFile(site / "style.css", "body {}");
  WriteFile(site / "guide" / "index.html",
            "<html><title>G</title><a href='../INDEX.HTML'>home</a><a href='../nowhere.htm'>n</a>"
            "</html>");
  const auto document = folder_ / "site.tlt";
  ASSERT_EQ(RunTool({"pack", site.string(), "-o", document.string()}).exitCode, 0);
  const auto lines = RunTool({"verify", "--links", document.string()});
  EXPECT_EQ(lines.exitCode, 1);
  EXPECT_NE(lines.err.find("Broken link: index.html -> gone.html#part\n"), std::string::npos);
  EXPECT_NE(lines.err.find("Broken link: index.html -> pictures/missing.png\n"), std::string::npos);
  EXPECT_NE(lines.err.find("Broken link: guide/index.html -> ../nowhere.htm\n"), std::string::npos);
  // Six links of the pages, and the map's contents and keywords of the two pages.
  EXPECT_EQ(lines.LastErrorLine(), "3 of 10 internal links reach no entry");

  const auto asJson = RunTool({"verify", "--links", "--json", document.string()});
  EXPECT_EQ(asJson.exitCode, 1);
  const json report = json::parse(asJson.out);
  EXPECT_EQ(report["version"], 2);
  EXPECT_FALSE(report["sound"]);
  EXPECT_EQ(report["links"]["checked"], 10);
  EXPECT_EQ(report["links"]["broken"][0],
            json::parse(R"({"page": "guide/index.html", "link": "../nowhere.htm",
                            "target": "nowhere.htm"})"));
}

}  // namespace
}  // namespace tomelet::testing
