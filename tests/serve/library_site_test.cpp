// A library served as one site: its addresses, its catalogue and feed, one search across
// documents of different languages, and documents replaced under a running server.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/serve/library_fixture.h"

namespace tomelet::serve::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using LibrarySiteTest = LibraryTest;

TEST_F(LibrarySiteTest, RoutesTheCatalogueAndEachDocumentUnderItsName) {
  Serve();
  const auto catalogue = Get("/");
  EXPECT_EQ(catalogue->status, 200);
  EXPECT_NE(catalogue->body.find("Python Things"), std::string::npos);
  EXPECT_NE(catalogue->body.find("action=\"/-/search\""), std::string::npos);

  EXPECT_EQ(Get("/python-3")->get_header_value("Location"), "/python-3/");
  EXPECT_EQ(Get("/python-3/")->get_header_value("Location"), "/python-3/index.html");
  const auto page = Get("/de-handbuch/index.html");
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("Häuser"), std::string::npos);
  const auto missing = Get("/de-handbuch/gone.html");
  EXPECT_EQ(missing->status, 404);
  EXPECT_NE(missing->body.find("href=\"/de-handbuch/-/search\""), std::string::npos);
  EXPECT_EQ(Get("/nobody/index.html")->status, 404);
  EXPECT_EQ(Get("/-/nothing")->status, 404);

  const json listed = json::parse(Get("/-/catalog.json")->body)["documents"];
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0]["name"], "de-handbuch");
  EXPECT_EQ(listed[0]["title"], "Postgres Handbuch");
  EXPECT_EQ(listed[0]["language"], "de");
  EXPECT_EQ(listed[0]["pages"], 1);
  EXPECT_EQ(listed[1]["url"], "/python-3/");

  // The document's own search answers under its path, with links that stay there.
  json own;
  for (int tries = 0; tries < 300 && !own.contains("results"); ++tries) {
    own = json::parse(Get("/python-3/-/search.json?q=dictionary")->body);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(own["results"].size(), 1u);
  EXPECT_EQ(own["results"][0]["path"], "index.html");
  EXPECT_NE(Get("/python-3/-/search?q=dictionary")->body.find("href=\"/python-3/index.html"),
            std::string::npos);
}

TEST_F(LibrarySiteTest, SearchesEveryDocumentInOneListEachWithItsOwnStemmer) {
  Serve();
  // Only each document's own stemmer takes these to the words of its pages.
  EXPECT_EQ(Docs(Search("q=haus")), std::vector<std::string>{"de-handbuch"});
  EXPECT_EQ(Docs(Search("q=run")), std::vector<std::string>{"python-3"});

  const json both = Search("q=dictionary");
  EXPECT_EQ(both["total"], 2);
  ASSERT_EQ(both["results"].size(), 2u);
  for (const auto& hit : both["results"]) {
    EXPECT_NE(hit["snippet"].get<std::string>().find("<b>dictionary</b>"), std::string::npos);
  }
  // Only the hits shown are asked for, and they carry their snippet.
  const json first = Search("q=dictionary&limit=1");
  ASSERT_EQ(first["results"].size(), 1u);
  EXPECT_EQ(first["results"][0]["doc"], both["results"][0]["doc"]);
  const json second = Search("q=dictionary&limit=1&start=1");
  ASSERT_EQ(second["results"].size(), 1u);
  EXPECT_EQ(second["results"][0]["doc"], both["results"][1]["doc"]);
  EXPECT_FALSE(second["results"][0]["snippet"].get<std::string>().empty());

  EXPECT_EQ(Docs(Search("q=dictionary&doc=python-3")), std::vector<std::string>{"python-3"});
  EXPECT_EQ(Docs(Search("q=de%3A+dictionary")), std::vector<std::string>{"de-handbuch"});
  EXPECT_EQ(Docs(Search("q=de,py%3A+dictionary")).size(), 2u);

  const json suggested = json::parse(Get("/-/suggest?q=post")->body)["suggestions"];
  ASSERT_EQ(suggested.size(), 1u);
  EXPECT_EQ(suggested[0]["url"], "/de-handbuch/index.html");
  EXPECT_NE(Get("/-/search?q=haus")->body.find("href=\"/de-handbuch/index.html"),
            std::string::npos);
}

xmlNode* Child(xmlNode* parent, const char* name) {
  for (xmlNode* node = parent->children; node; node = node->next) {
    if (node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, BAD_CAST name)) {
      return node;
    }
  }
  return nullptr;
}

std::string Attribute(xmlNode* node, const char* name) {
  xmlChar* value = xmlGetProp(node, BAD_CAST name);
  std::string text = value ? reinterpret_cast<const char*>(value) : "";
  xmlFree(value);
  return text;
}

TEST_F(LibrarySiteTest, OpdsFeedHasTheShapeCatalogueClientsRead) {
  Serve();
  const auto feed = Get("/-/catalog.atom");
  EXPECT_EQ(feed->get_header_value("Content-Type"),
            "application/atom+xml;profile=opds-catalog;kind=acquisition");
  xmlDoc* document = xmlReadMemory(feed->body.data(), static_cast<int>(feed->body.size()),
                                   "feed.xml", nullptr, XML_PARSE_NONET);
  ASSERT_NE(document, nullptr);
  xmlNode* root = xmlDocGetRootElement(document);
  EXPECT_TRUE(xmlStrEqual(root->name, BAD_CAST "feed"));
  EXPECT_TRUE(xmlStrEqual(root->ns->href, BAD_CAST "http://www.w3.org/2005/Atom"));
  for (const char* required : {"id", "title", "updated", "author", "link"}) {
    EXPECT_NE(Child(root, required), nullptr) << required;
  }
  int entries = 0;
  int acquisitions = 0;
  int covers = 0;
  for (xmlNode* entry = root->children; entry; entry = entry->next) {
    if (entry->type != XML_ELEMENT_NODE || !xmlStrEqual(entry->name, BAD_CAST "entry")) {
      continue;
    }
    ++entries;
    for (const char* required : {"id", "title", "updated"}) {
      EXPECT_NE(Child(entry, required), nullptr) << required;
    }
    for (xmlNode* link = entry->children; link; link = link->next) {
      if (link->type == XML_ELEMENT_NODE &&
          Attribute(link, "rel") == "http://opds-spec.org/acquisition") {
        ++acquisitions;
        const auto file = Get(Attribute(link, "href"));
        EXPECT_EQ(file->status, 200);
        EXPECT_EQ(std::to_string(file->body.size()), Attribute(link, "length"));
        EXPECT_EQ(file->get_header_value("Content-Type"), Attribute(link, "type"));
      }
      if (link->type == XML_ELEMENT_NODE &&
          Attribute(link, "rel") == "http://opds-spec.org/image") {
        ++covers;
        const auto cover = Get(Attribute(link, "href"));
        EXPECT_EQ(cover->status, 200);
        EXPECT_EQ(cover->body, kLogo);
        EXPECT_EQ(cover->get_header_value("Content-Type"), Attribute(link, "type"));
      }
    }
  }
  xmlFreeDoc(document);
  EXPECT_EQ(entries, 3);
  EXPECT_EQ(acquisitions, 2);  // none for the protected document
  EXPECT_EQ(covers, 2);
}

// A download cut short resumes where it stopped (curl -C -), and a client that has the catalogue
// or a feed already is told it is still current.
TEST_F(LibrarySiteTest, ADocumentDownloadResumesAndTheCatalogueIsRevalidated) {
  Serve();
  const auto whole = Get("/-/file/python-3");
  ASSERT_TRUE(whole);
  ASSERT_EQ(whole->status, 200);
  const std::string tag = whole->get_header_value("ETag");
  ASSERT_FALSE(tag.empty());
  EXPECT_EQ(whole->get_header_value("Accept-Ranges"), "bytes");
  const std::size_t size = whole->body.size();

  const auto rest =
      Get("/-/file/python-3", {{"Range", "bytes=100-99999999999999999999"}, {"If-Range", tag}});
  ASSERT_TRUE(rest);
  EXPECT_EQ(rest->status, 206);
  EXPECT_EQ(rest->get_header_value("Content-Range"),
            "bytes 100-" + std::to_string(size - 1) + "/" + std::to_string(size));
  EXPECT_EQ(rest->body, whole->body.substr(100));
  const auto changed =
      Get("/-/file/python-3", {{"Range", "bytes=100-"}, {"If-Range", "\"another\""}});
  EXPECT_EQ(changed->status, 200);
  EXPECT_EQ(changed->body, whole->body);
  EXPECT_EQ(Get("/-/file/python-3", {{"Range", "bytes=99999999999-"}})->status, 416);
  EXPECT_EQ(Get("/-/file/python-3", {{"If-None-Match", tag}})->status, 304);

  for (const char* target : {"/", "/-/catalog.json", "/-/catalog.atom"}) {
    const auto listed = Get(target);
    const std::string listedTag = listed->get_header_value("ETag");
    ASSERT_FALSE(listedTag.empty()) << target;
    const auto again = Get(target, {{"If-None-Match", listedTag}});
    EXPECT_EQ(again->status, 304) << target;
    EXPECT_EQ(again->get_header_value("ETag"), listedTag) << target;
    EXPECT_EQ(again->body, "") << target;
  }
}

TEST_F(LibrarySiteTest, FolderChangesArePickedUpAndARepliesUnderWayNeverMixDocuments) {
  Serve();
  const std::string old = Get("/python-3/big.txt")->body;
  // A reply whose body has not been read yet when its document is replaced.
  TSiteRequest request;
  request.Method = "GET";
  request.Target = "/python-3/big.txt";
  TSiteResponse pending = site_->Respond(request);
  ASSERT_EQ(pending.Status, 200);

  WriteDocument(shelf_ / "Python 3.tlt", Page("en", "Python Again", "new words"), {}, "fresh");
  WriteDocument(shelf_ / "added.tlt", Page("en", "Added", "an added document"));
  fs::remove(shelf_ / "de" / "handbuch.tlt");
  std::string now;
  for (int tries = 0; tries < 100; ++tries) {
    now = Get("/python-3/big.txt")->body;
    if (now != old && Get("/added/index.html")->status == 200 &&
        Get("/de-handbuch/index.html")->status == 404) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_NE(now, old);
  EXPECT_NE(now.find("fresh"), std::string::npos);
  EXPECT_EQ(Get("/added/index.html")->status, 200);
  EXPECT_EQ(Get("/de-handbuch/index.html")->status, 404);

  // The old reply finishes on the old bytes or stops with an error, never on new ones.
  std::string read;
  try {
    for (auto piece = pending.Body->Next(); !piece.empty(); piece = pending.Body->Next()) {
      read.append(reinterpret_cast<const char*>(piece.data()), piece.size());
    }
    EXPECT_EQ(read, old);
  } catch (const std::exception&) {
    EXPECT_EQ(read, old.substr(0, read.size()));
  }
  // SIGHUP's reload finds nothing more once the watch has seen it all.
  EXPECT_FALSE(library_->Reload());
}

}  // namespace
}  // namespace tomelet::serve::testing
