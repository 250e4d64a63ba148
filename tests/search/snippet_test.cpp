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
  const TIndexFile file(pages);
  const auto results = file.Open()->Search("vacuuming", 0, 10);
  ASSERT_EQ(results.Hits.size(), 1u) << "the table of contents is not a hit of its own";
  EXPECT_EQ(Paths(results)[0], "routine-vacuuming.html#ROUTINE-VACUUMING");
  EXPECT_EQ(results.Hits[0].Snippet,
            "25.1. Routine <b>Vacuuming</b> PostgreSQL databases require periodic maintenance "
            "known as <b>vacuuming</b>.");
  EXPECT_EQ(file.Open()->Search("home next", 0, 10).Total, 0u);
  EXPECT_EQ(file.Open()->Search("contents", 0, 10).Total, 0u);
}

// The marker stands in for Xapian's highlighter, so wherever it marks a text it must give what
// Xapian gives for the same query, and it must mark the plain cases rather than leave them all.
class SnippetMarkerTest : public ::testing::Test {
 protected:
  SnippetMarkerTest() : database_(std::string(), Xapian::DB_BACKEND_INMEMORY), stemmer_("english") {
    Xapian::Document document;
    document.add_term("Zopen");
    database_.add_document(document);
  }

  Xapian::Query Parsed(const std::string& query) const {
    Xapian::QueryParser parser;
    parser.set_stemmer(stemmer_);
    parser.set_stemming_strategy(Xapian::QueryParser::STEM_ALL_Z);
    return parser.parse_query(query, Xapian::QueryParser::FLAG_DEFAULT);
  }

  std::string Xapians(const Xapian::Query& query, const std::string& text) const {
    Xapian::Enquire enquire(database_);
    enquire.set_query(query);
    return enquire.get_mset(0, 10).snippet(text, 200, stemmer_, Xapian::MSet::SNIPPET_CJK_NGRAM,
                                           "<b>", "</b>", "\u2026");
  }

  Xapian::WritableDatabase database_;
  Xapian::Stem stemmer_;
};

TEST_F(SnippetMarkerTest, MarksWhatXapiansHighlighterMarks) {
  const std::vector<std::string> texts = {
      "Opening the file\u2019s contents: open() returns a file object.",
      "Don't open AT&T files <here> & there, opened_files and FILES\u2026",
      "R\u00e9sum\u00e9 of the files opened (see open)",
      "open",
      "Files\u2026 reopen the OPEN files).",
      "x < y opens files)\u2026",
  };
  std::size_t marked = 0;
  for (const std::string query :
       {"open file", "files", "dont", "r\u00e9sum\u00e9", "resume", "\"open file\" objects"}) {
    const auto marker = TSnippetMarker::ForQuery(Parsed(query), "en", stemmer_);
    ASSERT_NE(marker, nullptr) << query;
    for (const auto& text : texts) {
      if (const auto ours = marker->Marked(text)) {
        EXPECT_EQ(*ours, Xapians(Parsed(query), text)) << query << ": " << text;
        ++marked;
      }
    }
  }
  EXPECT_EQ(marked, 36u);
  EXPECT_EQ(TSnippetMarker::ForQuery(Parsed("open file"), "en", stemmer_)->Marked(texts[0]),
            "<b>Opening</b> the <b>file\u2019s</b> contents: <b>open</b>() returns a <b>file</b> "
            "object.");
}

TEST_F(SnippetMarkerTest, LeavesToXapianWhatItCutsOrMarksOtherwise) {
  EXPECT_EQ(TSnippetMarker::ForQuery(Parsed("file \"open file\""), "en", stemmer_), nullptr);
  EXPECT_EQ(TSnippetMarker::ForQuery(Parsed("c++"), "en", stemmer_), nullptr);
  const auto marker = TSnippetMarker::ForQuery(Parsed("open c"), "en", stemmer_);
  ASSERT_NE(marker, nullptr);
  for (const std::string text : {"C++ opens files.", "(open) files.", "open files: ",
                                 "open \u65e5\u672c", "open files, \u2026", "opens c#"}) {
    EXPECT_EQ(marker->Marked(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace tomelet::search::testing
