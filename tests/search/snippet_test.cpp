// What a hit shows of its section: whole words with an ellipsis where text was cut, never part of
// a character, never a page's link bar or table of contents.
#include "search/Snippet.h"

#include <gtest/gtest.h>
#include <xapian.h>

#include "tests/search/SearchFixtures.h"

namespace tomelet::search::testing {
namespace {

bool IsValidUtf8(const std::string& text) {
  for (Xapian::Utf8Iterator it(text); it != Xapian::Utf8Iterator(); ++it) {
    if ((it.strict_deref() & 0x80000000u) != 0) {
      return false;
    }
  }
  return true;
}

TEST(SnippetTextTest, TextThatFitsIsShownWholeWithItsSpacesCollapsed) {
  EXPECT_EQ(SnippetText("Open a file.", 40), "Open a file.");
  EXPECT_EQ(SnippetText("  spaced \n\t out  ", 40), "spaced out");
  EXPECT_EQ(SnippetText("Cut when it was stored\u2026", 40), "Cut when it was stored\u2026");
  EXPECT_EQ(SnippetText("", 40), "");
}

// Every length of a cut, over Latin text with accents, punctuation and CJK text: the snippet
// fits, is valid UTF-8, is the start of the text ending with a whole word (or between two CJK
// characters) and an ellipsis.
TEST(SnippetTextTest, ACutFallsBetweenWordsAndNeverInsideACharacter) {
  const std::string latin = "Zürich's crème brûlée, served cold: a dessert (of sorts) for everyone";
  const std::string cjk = "日本語のテキストを検索する方法。";
  for (const std::string& text : {latin, cjk}) {
    // From the length where the first word fits.
    const std::size_t shortest = (text == latin ? text.find(' ') : 3) + kEllipsis.size();
    for (std::size_t bytes = shortest; bytes < text.size(); ++bytes) {
      const std::string snippet = SnippetText(text, bytes);
      ASSERT_LE(snippet.size(), bytes) << snippet;
      ASSERT_TRUE(snippet.ends_with(kEllipsis)) << snippet;
      ASSERT_TRUE(IsValidUtf8(snippet)) << snippet;
      const std::string kept = snippet.substr(0, snippet.size() - kEllipsis.size());
      ASSERT_FALSE(kept.empty()) << bytes;
      ASSERT_TRUE(text.starts_with(kept)) << snippet;
      if (text == latin) {
        EXPECT_TRUE(text[kept.size()] == ' ' || text[kept.size()] == ',' ||
                    text[kept.size()] == ':' || text[kept.size()] == '(')
            << "cut inside a word: " << snippet;
        EXPECT_NE(kept.back(), ',') << "no dangling punctuation before the ellipsis";
      }
    }
  }
  EXPECT_EQ(SnippetText("one, two, three four", 14), "one, two\u2026");
  EXPECT_EQ(SnippetText(cjk, 15), "日本語の\u2026");
  // A word longer than the snippet can only be cut inside.
  EXPECT_EQ(SnippetText(std::string(300, 'w'), 200), std::string(197, 'w') + "\u2026");
}

TEST(SnippetTextTest, LinkBarsKeptByOlderIndexesAreDropped) {
  EXPECT_EQ(SnippetText("25.1. Routine Vacuuming Prev Up Chapter 25. Routine Database Maintenance "
                        "Tasks Home Next",
                        200),
            "25.1. Routine Vacuuming");
  EXPECT_EQ(SnippetText("Prev Up SQL Commands Home Next VACUUM — garbage-collect a database", 200),
            "VACUUM — garbage-collect a database");
  EXPECT_EQ(SnippetText("Vacuum often. Prev Up Next 24.3. Character Set Support Home 25.2. "
                        "Routine Reindexing",
                        200),
            "Vacuum often.");
  // Words that only look like a bar's start stay.
  EXPECT_EQ(SnippetText("Press Prev Up to return", 200), "Press Prev Up to return");
  EXPECT_EQ(SnippetText("PrevUp Home Next", 200), "PrevUp Home Next");
}

// DocBook's pages: a link bar above and below, and a chapter page whose table of contents lists
// the headings of the pages it links to.
TEST(SnippetTextTest, HitsNeverShowALinkBarOrATableOfContents) {
  const std::string header =
      "<div class='navheader'><table><tr><th>25.1. Routine Vacuuming</th></tr><tr><td>"
      "<a href='maintenance.html'>Prev</a></td><td><a href='maintenance.html'>Up</a></td><th>"
      "Chapter 25. Routine Database Maintenance Tasks</th><td><a href='index.html'>Home</a>"
      "</td><td><a href='next.html'>Next</a></td></tr></table></div>";
  const TPages pages = {
      {"maintenance.html",
       Page("Chapter 25. Routine Database Maintenance Tasks",
            "<div class='chapter' id='MAINTENANCE'><h2>Chapter 25. Routine Database Maintenance "
            "Tasks</h2><div class='toc'><p><b>Table of Contents</b></p><dl class='toc'><dt><a "
            "href='routine-vacuuming.html'>25.1. Routine Vacuuming</a></dt><dd><dl><dt><a href="
            "'routine-vacuuming.html#BASICS'>25.1.1. Vacuuming Basics</a></dt></dl></dd></dl>"
            "</div><p>PostgreSQL needs some maintenance.</p></div>")},
      {"routine-vacuuming.html",
       Page("25.1. Routine Vacuuming",
            header + "<div class='sect1' id='ROUTINE-VACUUMING'><h2>25.1. Routine Vacuuming</h2>"
                     "<p>PostgreSQL databases require periodic maintenance known as vacuuming."
                     "</p><h3 id='BASICS'>25.1.1. Vacuuming Basics</h3><p>The VACUUM command "
                     "processes each table.</p></div><div class='navfooter'><a href='m.html'>"
                     "Prev</a> <a href='u.html'>Up</a> <a href='n.html'>Next</a></div>")},
  };
  const TIndexFile file(BuildIndex(pages));
  const auto results = file.Open()->Search("vacuuming", 0, 10);
  ASSERT_EQ(results.Hits.size(), 1u) << "the table of contents is not a hit of its own";
  EXPECT_EQ(Paths(results)[0], "routine-vacuuming.html#ROUTINE-VACUUMING");
  EXPECT_EQ(results.Hits[0].Snippet,
            "25.1. Routine <b>Vacuuming</b> PostgreSQL databases require periodic maintenance "
            "known as <b>vacuuming</b>.");
  EXPECT_EQ(file.Open()->Search("home next", 0, 10).Total, 0u);
  EXPECT_EQ(file.Open()->Search("contents", 0, 10).Total, 0u);
}

}  // namespace
}  // namespace tomelet::search::testing
