// The bookmark file format: what browsers export reads back link by link, what the viewer writes
// reads back as it was, and a file cut short anywhere is refused rather than half read.
#include <gtest/gtest.h>

#include "bookmarks/Bookmarks.h"

namespace tomelet {
namespace {

// As browsers export it: lower-case tags here and there, folders, descriptions, icons, entities.
constexpr std::string_view kBrowserFile = R"(<!DOCTYPE NETSCAPE-Bookmark-file-1>
<!-- This is an automatically generated file.
     It will be read and overwritten.
     DO NOT EDIT! -->
<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=UTF-8">
<TITLE>Bookmarks</TITLE>
<H1>Bookmarks Menu</H1>
<DL><p>
    <DT><H3 ADD_DATE="1700000000" LAST_MODIFIED="1700000001">Python &amp; friends</H3>
    <DL><p>
        <DT><A HREF="tome://inpack/library/json.html#json.dumps" ADD_DATE="1700000100" ICON="data:image/png;base64,AAAA">json &mdash; JSON <b>&lt;encoder&gt;</b></A>
        <DD>A description that is no bookmark
        <dt><a href='tome://inpack/q.htm?a=1&amp;b=2' add_date=1700000200>  Caf&#xE9; &#233; &quot;x&quot;
        </a>
    </DL><p>
    <DT><A HREF="https://example.org/">Outside</A>
</DL><p>
)";

TEST(BookmarkFile, ABrowsersFileReadsLinkByLinkAndWritesBackTheSame) {
  const auto read = ParseBookmarkFile(kBrowserFile);
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0].Address, "tome://inpack/library/json.html#json.dumps");
  EXPECT_EQ(read[0].Title, "json &mdash; JSON <b><encoder></b>");
  EXPECT_EQ(read[0].AddedAt, 1700000100);
  EXPECT_EQ(read[1].Address, "tome://inpack/q.htm?a=1&b=2");
  EXPECT_EQ(read[1].Title, "Caf\u00e9 \u00e9 \"x\"");
  EXPECT_EQ(read[1].AddedAt, 1700000200);
  EXPECT_EQ(read[2].Title, "Outside");

  auto kept = read;
  kept[0].ScrollX = 12;
  kept[0].ScrollY = 3400;
  const auto written = FormatBookmarkFile(kept);
  EXPECT_TRUE(written.starts_with("<!DOCTYPE NETSCAPE-Bookmark-file-1>\n")) << written;
  EXPECT_NE(written.find("HREF=\"tome://inpack/q.htm?a=1&amp;b=2\""), std::string::npos);
  EXPECT_NE(written.find("JSON &lt;b&gt;&lt;encoder&gt;&lt;/b&gt;</A>"), std::string::npos)
      << written;
  EXPECT_EQ(ParseBookmarkFile(written), kept);
  EXPECT_TRUE(ParseBookmarkFile(FormatBookmarkFile({})).empty());
}

TEST(BookmarkFile, AFileCutShortAnywhereIsRefused) {
  const std::vector<TBookmark> bookmarks = {{"First <one>", "tome://inpack/a.htm#x", 0, 10, 1},
                                            {"Second", "tome://inpack/b.htm", 5, 0, 2}};
  const auto written = FormatBookmarkFile(bookmarks);
  const auto listEnd = written.rfind("</DL>") + 5;
  for (std::size_t length = 0; length < listEnd; ++length)
    EXPECT_THROW(ParseBookmarkFile(std::string_view(written).substr(0, length)), EBookmarkFileError)
        << "cut after " << length << " bytes: " << written.substr(0, length);
  EXPECT_EQ(ParseBookmarkFile(std::string_view(written).substr(0, listEnd)), bookmarks);
}

TEST(BookmarkFile, TextsThatAreNoBookmarkFilesAreRefused) {
  for (const char* text :
       {"", "<html><body><a href='x'>x</a></body></html>", "<!DOCTYPE html>\n<DL></DL>",
        "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n</DL><DL>",
        "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<!-- open <DL></DL>",
        "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<H1>No list</H1>"})
    EXPECT_THROW(ParseBookmarkFile(text), EBookmarkFileError) << text;
}

}  // namespace
}  // namespace tomelet
