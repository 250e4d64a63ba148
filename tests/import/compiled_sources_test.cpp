// CHM and ZIM files made by their own compilers (chmcmd, zimwriterfs), skipped where those are
// not installed: the CHM's .hhc and .hhk become contents and keywords with their links matched
// without regard to case, its Windows-1252 titles read as such; the ZIM's main page, language
// and illustration come through.
#include <gtest/gtest.h>
#include <zlib.h>

#include "document/DocumentEntries.h"
#include "import/Import.h"
#include "tests/import/SourceFixtures.h"
#include "tests/support/TestDocument.h"

namespace tomelet::testing {
namespace {

void AppendChunk(std::string& png, std::string_view type, const std::string& data) {
  const auto size = static_cast<std::uint32_t>(data.size());
  for (int shift = 24; shift >= 0; shift -= 8)
    png += static_cast<char>((size >> shift) & 0xFF);
  const std::string body = std::string(type) + data;
  png += body;
  const auto crc = static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
  for (int shift = 24; shift >= 0; shift -= 8)
    png += static_cast<char>((crc >> shift) & 0xFF);
}

// A grey 48 x 48 PNG, the illustration every ZIM must carry.
std::string IllustrationPng() {
  std::string rows;
  for (int y = 0; y < 48; ++y)
    rows += std::string(1, '\0') + std::string(48, '\x80');
  uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
  std::string packed(packedSize, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
           reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()));
  packed.resize(packedSize);
  std::string png = "\x89PNG\r\n\x1a\n";
  AppendChunk(png, "IHDR", std::string("\0\0\0\x30\0\0\0\x30\x08\x00\x00\x00\x00", 13));
  AppendChunk(png, "IDAT", packed);
  AppendChunk(png, "IEND", "");
  return png;
}

class CompiledSources : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1); }

  TScratchFolder folder_;
  std::filesystem::path document_ = folder_ / "out.tlt";
};

std::string SitemapItem(const std::string& name, const std::string& local) {
  return "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"" + name +
         "\"><param name=\"Local\" value=\"" + local + "\"></OBJECT>\n";
}

TEST_F(CompiledSources, ACompiledHelpFileKeepsItsContentsAndIndex) {
  if (!HaveProgram("chmcmd"))
    GTEST_SKIP() << "chmcmd (fp-utils) is not installed";
  const auto project = folder_ / "help";
  WriteFile(project / "Index.htm", "<html><title>Start</title><a href='sub/page.htm'>p</a></html>");
  WriteFile(project / "sub" / "Page.htm",
            "<html><title>Page</title><h1 id='x'>Page</h1><p>widgets</p></html>");
  WriteFile(project / "toc.hhc", "<HTML><BODY><UL>" + SitemapItem("Caf\xE9 start", "Index.htm") +
                                     "<UL>" +
                                     SitemapItem("The page", "ms-its:help.chm::/SUB/page.htm#x") +
                                     "</UL></UL></BODY></HTML>");
  WriteFile(project / "index.hhk", "<HTML><BODY><UL>" + SitemapItem("widget", "sub/page.htm") +
                                       "<UL>" + SitemapItem("blue", "sub/page.htm#x") +
                                       "</UL></UL></BODY></HTML>");
  WriteFile(project / "help.hhp",
            "[OPTIONS]\nCompiled file=help.chm\nContents file=toc.hhc\nIndex file=index.hhk\n"
            "Default topic=Index.htm\nLanguage=0x407 German (Germany)\nTitle=Crafted\n\n"
            "[FILES]\nIndex.htm\nsub/Page.htm\ntoc.hhc\nindex.hhk\n");
  ASSERT_EQ(RunQuietly("cd " + project.string() + " && chmcmd help.hhp"), 0);
  const auto chm = project / "help.chm";
  ASSERT_EQ(importer::RecogniseSource(chm), importer::TSourceFormat::Chm);
  importer::ImportDocument(chm, document_.string(), {});
  const TImported help = OpenImported(document_);
  EXPECT_EQ(help.Document->StartPagePath(), "Index.htm");
  ASSERT_EQ(help.Map->Contents.size(), 1u);
  EXPECT_EQ(help.Map->Contents[0].Title, "Caf\xC3\xA9 start");
  const TContentsItem& page = help.Map->Contents[0].Children.at(0);
  EXPECT_EQ(page.Page, "sub/Page.htm");
  EXPECT_EQ(page.Anchor, "x");
  const auto found = help.Map->Keywords.Lookup("widget", 5);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[1].Term, "widget, blue");
  EXPECT_EQ(found[1].Page, "sub/Page.htm");
}

TEST_F(CompiledSources, AZimKeepsItsMainPageLanguageAndIllustration) {
  if (!HaveProgram("zimwriterfs"))
    GTEST_SKIP() << "zimwriterfs (zim-tools) is not installed";
  const auto site = folder_ / "site";
  WriteFile(site / "welcome.html",
            "<html><head><title>Willkommen</title></head><body>"
            "<a href='docs/b.html'>B</a></body></html>");
  WriteFile(site / "docs" / "b.html",
            "<html><head><title>B</title></head><body><h1>Bäume</h1>"
            "<p>Häuser</p></body></html>");
  WriteFile(site / "logo.png", IllustrationPng());
  const auto zim = folder_ / "site.zim";
  ASSERT_EQ(RunQuietly("zimwriterfs -w welcome.html -I logo.png -l deu -t Seite -d x -c x -p x " +
                       site.string() + " " + zim.string()),
            0);
  ASSERT_EQ(importer::RecogniseSource(zim), importer::TSourceFormat::Zim);
  importer::ImportDocument(zim, document_.string(), {});
  const TImported imported = OpenImported(document_);
  EXPECT_EQ(imported.Document->StartPagePath(), "welcome.html");
  EXPECT_NE(imported.Page("docs\\b.html").find("Häuser"), std::string::npos);
  const std::string logo = imported.Page(std::string(kLogoEntry));
  EXPECT_TRUE(logo.starts_with(std::string("\0\0\1\0", 4))) << "the illustration as an icon";
  EXPECT_NE(imported.Map->Keywords.Lookup("Bäume", 1).size(), 0u);
}

}  // namespace
}  // namespace tomelet::testing
