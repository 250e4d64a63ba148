// The JSON object of search results that the CLI prints and the server answers: versioned,
// archive paths read as UTF-8, scores to four decimals, and snippets cut between words.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "search/ResultsJson.h"
#include "tests/search/SearchFixtures.h"

namespace tomelet::search::testing {
namespace {

TEST(ResultsJsonTest, OneVersionedObjectWithScoresToFourDecimals) {
  TSearchResults results;
  results.Query =
      "gr\xF6\xDF"
      "e";  // typed on a system whose text is Windows-1252
  results.Total = 7;
  results.Hits.push_back(
      {"guide\\\xDC"
       "bersicht.htm",
       "size", "Übersicht", "<b>Größe</b> und Maße", 12.345678901234});
  results.Hits.push_back({"a.htm", "", "A", "", 0.00004});
  results.Hits.push_back({"b.htm", "", "say \"hi\"\\\t\x01", "", 3});
  const auto text = ResultsJson(results);
  EXPECT_EQ(text.find('\n'), std::string::npos);
  const auto object = nlohmann::json::parse(text);
  EXPECT_EQ(object["version"], 2);
  EXPECT_EQ(object["query"], "größe");
  EXPECT_EQ(object["total"], 7);
  ASSERT_EQ(object["results"].size(), 3u);
  const auto& hit = object["results"][0];
  EXPECT_EQ(hit["path"], "guide/Übersicht.htm");
  EXPECT_EQ(hit["anchor"], "size");
  EXPECT_EQ(hit["snippet"], "<b>Größe</b> und Maße");
  EXPECT_NE(text.find("\"score\":12.3457}"), std::string::npos) << text;
  EXPECT_EQ(object["results"][1]["score"], 0.0);
  EXPECT_EQ(object["results"][2]["title"], "say \"hi\"\\\t\x01");
  EXPECT_NE(text.find("\"say \\\"hi\\\"\\\\\\u0009\\u0001\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"score\":3.0}"), std::string::npos) << text;
}

// The stored text of a long section ends where a word ends, and says that more follows.
TEST(ResultsJsonTest, ALongSectionsSnippetEndsAfterAWholeWordWithAnEllipsis) {
  std::string text;
  for (int i = 0; text.size() < 600; ++i) {
    text += (text.empty() ? "" : " ") + std::string("lengthy") + std::to_string(i * 7919 % 1000);
  }
  const TIndexFile file({{"long.html", Page("Long", "<p>" + text + "</p>")}});
  const auto hits = file.Open()->Search("lengthy0", 0, 1).Hits;
  ASSERT_EQ(hits.size(), 1u);
  std::string snippet = hits[0].Snippet;
  for (const std::string mark : {"<b>", "</b>"}) {
    for (auto at = snippet.find(mark); at != std::string::npos; at = snippet.find(mark)) {
      snippet.erase(at, mark.size());
    }
  }
  ASSERT_TRUE(snippet.ends_with("\u2026")) << snippet;
  const std::string kept = snippet.substr(0, snippet.size() - std::string("\u2026").size());
  EXPECT_TRUE(text.starts_with(kept)) << snippet;
  EXPECT_EQ(text[kept.size()], ' ') << "cut inside a word: " << snippet;
  EXPECT_GT(kept.size(), 150u);
}

}  // namespace
}  // namespace tomelet::search::testing
