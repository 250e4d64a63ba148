// The search paths of a served document: paging, empty and stop-word queries, non-ASCII words,
// suggestions, many clients at once, and a document that has to be indexed first.
#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "document/DocumentEntries.h"
#include "search/ResultsJson.h"
#include "search/SearchIndex.h"
#include "tests/serve/serve_fixture.h"

namespace tomelet::serve::testing {
namespace {

using nlohmann::json;

std::string Page(const std::string& title, const std::string& body) {
  return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
}

class SearchPagesTest : public ServeTest {
 protected:
  explicit SearchPagesTest(bool embedIndex = true) : embed_(embedIndex) {
    ::setenv("XDG_CACHE_HOME", (folder_.Path() / "cache").c_str(), 1);
    AddPage("index.htm", Page("Start", "<h1>Welcome</h1><p>The start page.</p>"));
    AddPage("guide\\files.htm", Page("Files", "<h2 id='open'>Opening files</h2><p>Open it.</p>"));
    AddPage("Übersicht.htm", Page("Übersicht", "<p>Größe der Straße</p>"));
    AddPage("-\\shadowed.htm", Page("Shadowed", "<p>hidden page</p>"));
    for (int i = 0; i < 25; ++i) {
      AddPage("notes\\n" + std::to_string(i) + ".htm",
              Page("Note " + std::to_string(i), "<p>gadget " + std::to_string(i) + "</p>"));
    }
  }

  void AddPage(const std::string& path, const std::string& html) {
    testDocument_.Entry(path, html);
    builder_.AddPage(path, html);
  }

  void Serve() {
    if (embed_) {
      testDocument_.Stored(kIndexEntry, builder_.Finish());
    }
    ServeTest::Serve();
  }

  static std::string AsText(const std::vector<std::byte>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
  }

  bool embed_;
  search::TIndexBuilder builder_{{}};
};

TEST_F(SearchPagesTest, ResultsComePageByPageWithoutRepeats) {
  Serve();
  std::set<std::string> seen;
  for (const int start : {0, 10, 20}) {
    const auto found = GetJson("/-/search.json?q=gadget&limit=10&start=" + std::to_string(start));
    EXPECT_EQ(found["version"], search::kResultsJsonVersion)
        << "the object `tomelet search --json` prints";
    EXPECT_EQ(found["total"], 25);
    EXPECT_EQ(found["results"].size(), start == 20 ? 5u : 10u);
    for (const auto& hit : found["results"]) {
      EXPECT_TRUE(seen.insert(hit["path"].get<std::string>()).second) << hit["path"];
    }
  }
  EXPECT_EQ(seen.size(), 25u);

  const auto page = Get("/-/search?q=gadget&start=10&limit=10");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_NE(page->body.find("<ol start=\"11\">"), std::string::npos);
  EXPECT_NE(page->body.find("<p role=\"status\">25 pages match gadget.</p>"), std::string::npos)
      << "a count the index made in full is not an estimate";
  EXPECT_NE(page->body.find("rel=\"prev\" href=\"/-/search?q=gadget&amp;limit=10&amp;start=0\""),
            std::string::npos);
  EXPECT_NE(page->body.find("rel=\"next\" href=\"/-/search?q=gadget&amp;limit=10&amp;start=20\""),
            std::string::npos);
  EXPECT_NE(page->body.find("<input id=\"q\" type=\"search\" name=\"q\" value=\"gadget\""),
            std::string::npos);
  EXPECT_NE(page->body.find("<a href=\"/\">Back to the document</a>"), std::string::npos);
}

TEST_F(SearchPagesTest, EmptyStopWordAndNonAsciiQueries) {
  Serve();
  auto found = GetJson("/-/search.json?q=nothingmatches");
  EXPECT_EQ(found["total"], 0);
  EXPECT_TRUE(found["results"].empty());
  EXPECT_TRUE(GetJson("/-/search.json?q=the+and+of")["results"].empty());
  EXPECT_TRUE(GetJson("/-/search.json?q=")["results"].empty());
  const auto none = Get("/-/search?q=nothingmatches");
  EXPECT_EQ(none->status, 200);
  EXPECT_NE(none->body.find("No pages match nothingmatches."), std::string::npos);

  found = GetJson("/-/search.json?q=gr%C3%B6%C3%9Fe");
  ASSERT_EQ(found["results"].size(), 1u);
  EXPECT_EQ(found["query"], "größe");
  EXPECT_EQ(found["results"][0]["path"], "Übersicht.htm");
  const auto page = Get("/-/search?q=%C3%BCbersicht");
  EXPECT_NE(page->body.find("href=\"/%C3%9Cbersicht.htm\""), std::string::npos) << page->body;
  EXPECT_EQ(Get("/%C3%9Cbersicht.htm")->status, 200);

  found = GetJson("/-/search.json?q=opening+files");
  ASSERT_FALSE(found["results"].empty());
  EXPECT_EQ(found["results"][0]["anchor"], "open");
}

TEST_F(SearchPagesTest, SuggestionsTheIndexEntryAndTheShadowedFolder) {
  Serve();
  const auto suggested = GetJson("/-/suggest?q=not");
  EXPECT_EQ(suggested["suggestions"].size(), 10u);
  EXPECT_EQ(suggested["suggestions"][0]["url"], "/notes/n0.htm");
  EXPECT_EQ(GetJson("/-/suggest?q=%C3%BC")["suggestions"][0]["title"], "Übersicht");
  EXPECT_EQ(Get("/-index-")->status, 404);
  EXPECT_EQ(Get("/-/shadowed.htm")->status, 404);
  EXPECT_EQ(Get("/-/search.json?q=gadget&limit=-5&start=x")->status, 200);
}

TEST_F(SearchPagesTest, HostileNamesAreEscapedOnThePageAndExactInJson) {
  AddPage("tricks\\x\x1b]0;owned\x07.htm", Page("Trick\x1b[2J", "<p>trapdoor</p>"));
  Serve();
  const auto found = GetJson("/-/search.json?q=trapdoor");
  ASSERT_EQ(found["results"].size(), 1u);
  EXPECT_EQ(found["results"][0]["path"], "tricks/x\x1b]0;owned\x07.htm");
  const auto page = Get("/-/search?q=trapdoor");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->body.find_first_of("\x1b\x07"), std::string::npos);
  EXPECT_NE(page->body.find("<cite>tricks/x\\x1b]0;owned\\x07.htm</cite>"), std::string::npos)
      << page->body;
}

TEST_F(SearchPagesTest, SearchesBeyondTheQueueAreTurnedAwayAndPagesStillServed) {
  settings_.SearchQueue = 0;
  Serve();
  const auto refused = Get("/-/search.json?q=gadget");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 503);
  EXPECT_EQ(refused->get_header_value("Retry-After"), "1");
  const auto page = Get("/index.htm");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
}

TEST_F(SearchPagesTest, ManyClientsAtOnceGetTheSameAnswers) {
  Serve();
  const std::vector<std::string> targets = {"/-/search.json?q=gadget", "/-/suggest?q=no",
                                            "/-/search.json?q=files", "/-/search?q=start"};
  std::vector<std::string> expected;
  for (const auto& target : targets) {
    expected.push_back(Get(target)->body);
  }
  std::vector<std::thread> clients;
  std::vector<int> wrong(8, 0);
  for (int t = 0; t < 8; ++t) {
    clients.emplace_back([&, t] {
      auto client = Client();
      for (int r = 0; r < 40; ++r) {
        const std::size_t which = static_cast<std::size_t>(t + r) % targets.size();
        const auto result = client.Get(targets[which]);
        if (!result || result->status != 200 || result->body != expected[which]) {
          ++wrong[t];
        }
      }
    });
  }
  for (auto& client : clients) {
    client.join();
  }
  EXPECT_EQ(wrong, std::vector<int>(8, 0));
}

class UnindexedSearchPagesTest : public SearchPagesTest {
 protected:
  UnindexedSearchPagesTest() : SearchPagesTest(false) {}
};

TEST_F(UnindexedSearchPagesTest, TheFirstSearchStartsIndexingAndAnswersWhenItIsDone) {
  Serve();
  auto result = Get("/-/search.json?q=gadget");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (result && result->status == 503 && std::chrono::steady_clock::now() < deadline) {
    EXPECT_EQ(result->get_header_value("Retry-After"), "1");
    EXPECT_NE(json::parse(result->body)["error"].get<std::string>().find("Indexing"),
              std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    result = Get("/-/search.json?q=gadget");
  }
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(json::parse(result->body)["total"], 25);
  EXPECT_TRUE(std::filesystem::exists(folder_.Path() / "cache" / "tomelet"));
}

}  // namespace
}  // namespace tomelet::serve::testing
