// The map made from pages: the contents found on the start page or the page it names as its
// table of contents (ul and dl trees), the folder tree when there is none, contents files in
// both forms, the keywords a reader looks up, and a page's outline.
#include <gtest/gtest.h>

#include <map>

#include "search/DocumentMapBuilder.h"
#include "search/HtmlText.h"
#include "search/SearchIndex.h"

namespace tomelet::search {
namespace {

std::string Html(const std::string& title, const std::string& body) {
  return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
}

TPageReader ReaderOf(const std::map<std::string, std::string>& pages) {
  return [&pages](std::string_view path) -> std::optional<std::string> {
    for (const auto& [name, html] : pages) {
      std::string slashed = name;
      std::replace(slashed.begin(), slashed.end(), '\\', '/');
      if (slashed == path)
        return html;
    }
    return std::nullopt;
  };
}

TDocumentMap Build(const std::map<std::string, std::string>& pages, const std::string& start) {
  TDocumentMapBuilder builder(start);
  for (const auto& [path, html] : pages)
    builder.AddPage(path, html);
  return builder.Finish(ReaderOf(pages));
}

TEST(FoundContents, TheLargestListOnTheStartPageOrItsTableOfContentsPage) {
  const std::string sidebar =
      "<div class='sidebar'><ul><li><a href='index.html'>Home</a></li>"
      "<li><a href='lib/a.html'>A</a></li></ul></div>";
  const std::map<std::string, std::string> pages = {
      {"index.html", Html("Start", sidebar + "<p><a href='contents.html'>Complete table</a></p>"
                                             "<p><a href='https://example.org/x.html'>x</a></p>")},
      {"contents.html", Html("Contents",
                             "<ul><li><a href='lib/index.html'>Library</a><ul>"
                             "<li><a href='lib/a.html#top'>Part A</a></li>"
                             "<li><a href='lib/../lib/b.html'>Part <em>B</em></a><ol><li>"
                             "<a href='lib/b.html#deep'>Deep</a></li></ol></li>"
                             "<li><a href='https://example.org/'>Elsewhere</a></li></ul></li>"
                             "<li><a href='missing.html'>Gone</a></li></ul>")},
      {"lib\\index.html", Html("Library", "")},
      {"lib\\a.html", Html("A", "")},
      {"lib\\b.html", Html("B", "")},
  };
  const TContents contents = Build(pages, "index.html").Contents;
  const TContents expected = {{"Library",
                               "lib/index.html",
                               "",
                               {{"Part A", "lib/a.html", "top", {}},
                                {"Part B", "lib/b.html", "", {{"Deep", "lib/b.html", "deep", {}}}},
                                {"Elsewhere", "", "", {}}}},
                              {"Gone", "", "", {}}};
  EXPECT_EQ(contents, expected);
}

TEST(FoundContents, DefinitionListTreesAndTheFolderTreeWithoutAnyList) {
  const std::map<std::string, std::string> book = {
      {"index.html", Html("Book",
                          "<div class='toc'><p>Table of Contents</p><dl class='toc'>"
                          "<dt><span><a href='pre.html'>Preface</a></span></dt>"
                          "<dt><span><a href='part1.html'>I. Tutorial</a></span></dt>"
                          "<dd><dl><dt><a href='ch1.html'>1. Start</a></dt>"
                          "<dt><a href='ch2.html'>2. Compilation (<acronym>JIT</acronym>)</a></dt>"
                          "</dl></dd></dl></div>")},
      {"pre.html", Html("Preface", "")},
      {"part1.html", Html("Tutorial", "")},
      {"ch1.html", Html("Start", "")},
      {"ch2.html", Html("Next", "")},
  };
  const TContents found = Build(book, "index.html").Contents;
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[1].Title, "I. Tutorial");
  ASSERT_EQ(found[1].Children.size(), 2u);
  EXPECT_EQ(found[1].Children[1].Page, "ch2.html");
  EXPECT_EQ(found[1].Children[1].Title, "2. Compilation (JIT)");

  const std::map<std::string, std::string> loose = {
      {"index.html", Html("Home", "<p>No list here.</p>")},
      {"guide\\index.html", Html("The Guide", "")},
      {"guide\\setup.html", Html("Setup", "")},
      {"guide\\deep\\x.html", Html("", "<h1>X page</h1>")},
      {"about.html", Html("About", "")},
  };
  const TContents expected = {{"Home", "index.html", "", {}},
                              {"About", "about.html", "", {}},
                              {"The Guide",
                               "guide/index.html",
                               "",
                               {{"Setup", "guide/setup.html", "", {}},
                                {"deep", "", "", {{"X page", "guide/deep/x.html", "", {}}}}}}};
  EXPECT_EQ(Build(loose, "index.html").Contents, expected);
}

// Generators mark their own navigation and dress every title alike; the map follows the one and
// sheds the other, and leaves out the fragments of their search pages.
TEST(FoundContents, GeneratorsKeepTheirOwnNavigationAndPlainTitles) {
  const std::string suffix = " \xE2\x80\x94 Tiny Caf\xC3\xA9 1.0 documentation";
  const auto sphinx = Build(
      {{"index.html", Html("Welcome" + suffix,
                           "<h1>Welcome\xC2\xB6</h1><div class='toctree-wrapper'><ul>"
                           "<li class='toctree-l1'><a href='usage.html'>Usage</a><ul>"
                           "<li class='toctree-l2'><a href='usage.html#installation'>Installation"
                           "</a></li></ul></li></ul></div>")},
       {"usage.html", Html("Usage" + suffix, "<h1 id='usage'>Usage\xC2\xB6</h1>")},
       {"search.html", Html("Search" + suffix, "<h1>Search</h1>")}},
      "index.html");
  ASSERT_EQ(sphinx.Contents.size(), 1u);
  EXPECT_EQ(sphinx.Contents[0].Title, "Usage");
  EXPECT_EQ(sphinx.Contents[0].Children.at(0).Anchor, "installation");
  const auto usage = sphinx.Keywords.Lookup("usage", 1);
  ASSERT_EQ(usage.size(), 1u);
  EXPECT_EQ(usage[0].Term, "Usage");
  EXPECT_EQ(usage[0].PageTitle, "Usage");

  const std::string navbar =
      "<ul class='nav navbar-nav'><li><a href='.'>Home</a></li><li><a href='guide/'>Guide</a>"
      "</li></ul><ul class='nav flex-column'><li><a href='#a'>A</a></li><li><a href='#b'>B</a>"
      "</li><li><a href='#c'>C</a></li></ul>";
  const auto mkdocs = Build({{"index.html", Html("Quill", navbar)},
                             {"guide\\index.html", Html("Guide - Quill", "<h1>Guide</h1>")}},
                            "index.html");
  ASSERT_EQ(mkdocs.Contents.size(), 2u);
  EXPECT_EQ(mkdocs.Contents[1].Page, "guide/index.html");

  const auto doxygen =
      Build({{"index.html", Html("Quill: Main Page", "")},
             {"quill_8h.html", Html("Quill: quill.h File Reference",
                                    "<h2 class='memtitle'><a href='#a1'>\xE2\x97\x86\xC2\xA0</a>"
                                    "open_note()</h2>")},
             {"search\\all_0.html", "<html><body><div class='SRPage'>x</div></body></html>"}},
            "index.html");
  EXPECT_EQ(doxygen.Contents.size(), 2u) << "the search fragments are no pages of the contents";
  EXPECT_EQ(doxygen.Contents[0].Title, "Main Page");
  EXPECT_EQ(doxygen.Keywords.Lookup("open_note", 1).at(0).Term, "open_note()");
}

TEST(ContentsFile, SitemapListsAndJsonAreReadAndOtherTextRefused) {
  const TContents sitemap = ReadContentsFile(
      "<HTML><BODY><UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Intro\">"
      "<param name=\"Local\" value=\"docs\\intro.htm#a\"></OBJECT><UL><LI>"
      "<OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Inner\">"
      "<param name=\"Local\" value=\"docs/inner.htm\"></OBJECT></UL>"
      "<LI><a href='x%20y.html'>Spaced</a></UL></BODY></HTML>");
  const TContents expected = {
      {"Intro", "docs/intro.htm", "a", {{"Inner", "docs/inner.htm", "", {}}}},
      {"Spaced", "x y.html", "", {}}};
  EXPECT_EQ(sitemap, expected);
  EXPECT_EQ(ReadContentsFile(" [{\"title\": \"T\", \"path\": \"t.html\"}]").size(), 1u);
  for (const char* wrong : {"<p>no list</p>", "{\"title\": 1}", ""}) {
    EXPECT_THROW(ReadContentsFile(wrong), EDocumentMapError) << wrong;
  }
}

TEST(PageKeywords, TitlesHeadingsAndDefinedTermsWithTheirAnchors) {
  const std::map<std::string, std::string> pages = {
      {"library\\json.html",
       Html("json - JSON encoder - Docs",
            "<nav><h2>Navigation</h2></nav><section id='json-mod'><h1>json — JSON encoder</h1>"
            "<dl><dt class='sig' id='json.dumps'>json.dumps(obj, *, "
            "<a href='#x'>cls</a>=None)<a class='headerlink' href='#json.dumps'>¶</a></dt>"
            "<dd>Serialize.</dd></dl><section id='usage'><h2>25.1.\xC2\xA0"
            "Basic usage</h2>"
            "</section></section>")},
      {"glossary.html", Html("M. Glossary",
                             "<dl><dt id='GLOSSARY-ACID'><span>ACID</span></dt><dd>x</dd>"
                             "<dt id='ientry-1'>pg_dump, <a href='app.html'>pg_dump</a></dt>"
                             "<dt>No id</dt></dl>")},
      {"app.html", Html("pg_dump", "<h2>pg_dump</h2><h2>Options</h2>")},
  };
  const TDocumentMap map = Build(pages, "");
  const auto first = [&](std::string_view query) {
    const auto found = map.Keywords.Lookup(query, 1);
    return found.empty() ? TKeyword{} : found.front();
  };
  EXPECT_EQ(first("json.dumps"),
            (TKeyword{"json.dumps", "library/json.html", "json.dumps", "json - JSON encoder - Docs",
                      TKeywordKind::Definition}));
  EXPECT_EQ(first("json —").Kind, TKeywordKind::PageTitle);
  EXPECT_EQ(first("json —").Anchor, "json-mod");
  EXPECT_EQ(first("basic").Term, "Basic usage");
  EXPECT_EQ(first("basic").Anchor, "usage");
  EXPECT_EQ(first("acid").Anchor, "GLOSSARY-ACID");
  EXPECT_EQ(first("acid").Term, "ACID");
  EXPECT_EQ(first("M. Glossary").Kind, TKeywordKind::PageTitle);
  // The back-of-book entry points elsewhere; the page's own title is the keyword.
  const auto dumps = map.Keywords.Lookup("pg_dump", 10);
  ASSERT_EQ(dumps.size(), 1u);
  EXPECT_EQ(dumps[0].Page, "app.html");
  EXPECT_TRUE(map.Keywords.Lookup("navigation", 10).empty());
  EXPECT_TRUE(map.Keywords.Lookup("no id", 10).empty());
  EXPECT_EQ(map.Keywords.Size(), 7u);
}

// Packing parses each page once, on the index's threads, which finish pages in no fixed order.
TEST(PageKeywords, PagesReadByTheIndexGiveTheMapOfPagesAddedInOrder) {
  std::map<std::string, std::string> pages = {
      {"index.html", Html("Start",
                          "<ul><li><a href='guide/'>Guide</a></li><li>"
                          "<a href='p3.html'>Three</a></li><li><a href='p9.html'>Nine"
                          "</a></li></ul>")},
      // Case twins: the later one is what a link to either leads to.
      {"Guide\\Index.html", Html("Upper guide", "<h1>Guide</h1>")},
      {"guide\\index.html", Html("Lower guide", "<h1>Guide</h1>")},
  };
  for (int page = 0; page < 40; ++page) {
    const std::string n = std::to_string(page);
    // The same headings on every page: their keywords differ only in page and page title.
    pages["p" + n + ".html"] =
        Html("Page " + n + " - Docs", "<h1>Page " + n +
                                          "</h1><h2 id='usage'>Usage</h2><dl>"
                                          "<dt id='mod.run'>mod.run()</dt><dd>Runs.</dd></dl>");
  }
  TDocumentMapBuilder handed("index.html");
  TIndexBuilder index({"en", pages.size()},
                      [&handed](std::uint64_t number, std::string_view path,
                                const TPageText& text) { handed.AddPageText(number, path, text); });
  for (const auto& [path, html] : pages) {
    handed.AddPagePath(path);
    index.AddPage(path, html);
  }
  handed.FindContents(ReaderOf(pages));
  index.Finish();
  const TDocumentMap byIndex = handed.Finish(ReaderOf(pages));
  const TDocumentMap inOrder = Build(pages, "index.html");
  EXPECT_EQ(byIndex.Keywords.All(), inOrder.Keywords.All());
  EXPECT_EQ(byIndex.Contents, inOrder.Contents);
  ASSERT_FALSE(byIndex.Contents.empty());
  EXPECT_EQ(byIndex.Contents.front().Page, "guide/index.html");
  EXPECT_EQ(byIndex.Keywords.Size(), 3u + 3 * 40);
}

TEST(PageOutline, HeadingsWithLevelsAndAnchorsWithoutNavigation) {
  const auto outline = PageOutline(
      Html("T",
           "<nav><h2>Menu</h2></nav><h1 id='top'>Title<a class='headerlink' href='#top'>¶</a></h1>"
           "<div id='s1'><h2>First</h2></div><h3><a id='inner'></a>Inner</h3><dl><dt id='d'>"
           "term</dt></dl><h2></h2>"));
  ASSERT_EQ(outline.size(), 3u);
  EXPECT_EQ(outline[0].Level, 1);
  EXPECT_EQ(outline[0].Title, "Title");
  EXPECT_EQ(outline[0].Anchor, "top");
  EXPECT_EQ(outline[1].Anchor, "s1");
  EXPECT_EQ(outline[2].Level, 3);
  EXPECT_EQ(outline[2].Anchor, "inner");
  EXPECT_TRUE(PageOutline("").empty());
}

}  // namespace
}  // namespace tomelet::search
