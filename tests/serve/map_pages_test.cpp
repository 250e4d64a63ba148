// The map paths of a served document: the contents as JSON and as a page, the keyword lookup
// and a page's outline, from the stored map or from one derived for a document without it.
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "document/DocumentEntries.h"
#include "document/DocumentMap.h"
#include "tests/serve/serve_fixture.h"

namespace tomelet::serve::testing {
namespace {

using nlohmann::json;

class MapPagesTest : public ServeTest {
 protected:
  MapPagesTest() {
    ::setenv("XDG_CACHE_HOME", (folder_.Path() / "cache").c_str(), 1);
    testDocument_.Entry("guide\\a b.htm",
                        "<html><head><title>Files</title></head><body><nav><h2>Menu</h2></nav>"
                        "<h1 id='top'>Reading files</h1><h2 id='open'>Opening</h2><dl>"
                        "<dt id='io.open'>io.open(file)</dt></dl></body></html>");
  }
};

TEST_F(MapPagesTest, StoredContentsKeywordsAndOutline) {
  TDocumentMap map;
  map.Contents = {{"Guide <&>", "guide/a b.htm", "open", {{"Child", "index.htm", "", {}}}}};
  map.Keywords =
      TKeywordIndex({{"io.open", "guide/a b.htm", "io.open", "Files", TKeywordKind::Definition},
                     {"Opening", "guide/a b.htm", "open", "Files", TKeywordKind::Heading}});
  testDocument_.Entry(kMapEntry, WriteMapEntry(map));
  Serve();
  EXPECT_EQ(GetJson("/-/contents.json"),
            json::parse(R"({"version": 1, "contents": [{"title": "Guide <&>",
                             "path": "guide/a b.htm#open",
                             "children": [{"title": "Child", "path": "index.htm"}]}]})"));
  const json found = GetJson("/-/keywords.json?q=OPEN&limit=1");
  EXPECT_EQ(found, json::parse(R"({"version": 1, "query": "OPEN", "keywords": [{"term": "Opening",
      "path": "guide/a b.htm#open", "title": "Files", "kind": "heading",
      "url": "/guide/a%20b.htm#open"}]})"));
  EXPECT_EQ(GetJson("/-/keywords.json?q=io+op")["keywords"][0]["term"], "io.open");
  EXPECT_TRUE(GetJson("/-/keywords.json")["keywords"].empty());

  EXPECT_EQ(GetJson("/-/outline.json?path=guide/a%20b.htm"),
            json::parse(R"({"path": "guide/a b.htm", "headings": [
                {"level": 1, "title": "Reading files", "anchor": "top"},
                {"level": 2, "title": "Opening", "anchor": "open"}]})"));
  for (const char* missing :
       {"/-/outline.json?path=nothing.htm", "/-/outline.json?path=-map-", "/-/outline.json"}) {
    EXPECT_EQ(Get(missing)->status, 404) << missing;
  }
  const auto page = Get("/-/contents");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_NE(page->body.find("<a href=\"/guide/a%20b.htm#open\">Guide &lt;&amp;&gt;</a><ul>"),
            std::string::npos)
      << page->body;
  EXPECT_EQ(Get("/-/map.json")->status, 404) << "other paths below /-/ stay the search's";
}

TEST_F(MapPagesTest, ADocumentWithoutAMapGetsOneFromItsPages) {
  testDocument_.StartPageOption("index.htm");
  Serve();
  const json contents = GetJson("/-/contents.json");
  ASSERT_FALSE(contents.empty());
  EXPECT_EQ(GetJson("/-/keywords.json?q=io.open")["keywords"][0]["path"], "guide/a b.htm#io.open");
  EXPECT_FALSE(std::filesystem::is_empty(folder_.Path() / "cache" / "tomelet"));
}

}  // namespace
}  // namespace tomelet::serve::testing
