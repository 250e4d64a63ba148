// Every kind of source becomes a document with the source's own map: contents from its table of
// contents, keywords from its index with their types, its start page and language; recognised
// by content whatever its name says.
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>

#include "import/DevhelpBook.h"
#include "import/Import.h"
#include "import/SphinxInventory.h"
#include "search/DocumentIndex.h"
#include "tests/import/SourceFixtures.h"
#include "tests/support/TestDocument.h"

namespace tomelet::testing {
namespace {

using importer::TSourceFormat;

std::vector<std::string> Titles(const TContents& items) {
  std::vector<std::string> titles;
  for (const TContentsItem& item : items)
    titles.push_back(item.Title);
  return titles;
}

// The keywords of the source's own index; those found in the pages have no type.
std::size_t TypedKeywords(const TDocumentMap& map) {
  const auto all = map.Keywords.All();
  return static_cast<std::size_t>(
      std::count_if(all.begin(), all.end(), [](const TKeyword& k) { return !k.Type.empty(); }));
}

class SourceFormats : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1); }

  TImported Import(const std::filesystem::path& source) {
    importer::ImportDocument(source, document_.string(), {});
    return OpenImported(document_);
  }

  TScratchFolder folder_;
  std::filesystem::path document_ = folder_ / "out.tlt";
};

TEST_F(SourceFormats, AnEpubKeepsItsNavigationFirstPageAndLanguage) {
  const auto source = folder_ / "book.chm";  // the name misleads on purpose
  WritePacked(source, EpubFiles(), TPacking::Zip);
  ASSERT_EQ(importer::RecogniseSource(source), TSourceFormat::Epub);
  const TImported book = Import(source);
  // The viewer opens a start page at the top: one there leads on to the first chapter.
  EXPECT_EQ(book.Document->StartPagePath(), "index.html");
  EXPECT_NE(book.Page("index.html").find("url=OEBPS/text/one.xhtml"), std::string::npos);
  EXPECT_EQ(Titles(book.Map->Contents), (std::vector<std::string>{"Eins", "Zwei", "Ende"}));
  EXPECT_EQ(book.Map->Contents[0].Children[0].Page, "OEBPS/text/one.xhtml");
  EXPECT_EQ(book.Map->Contents[0].Children[0].Anchor, "mitte");
  EXPECT_TRUE(book.Page("mimetype").empty());
  // The German stemmer finds "Haus" in "Häuser".
  const auto index = search::OpenDocumentIndex(book.Document, book.Document->StartPagePath(), {});
  EXPECT_FALSE(index.Index->Search("Haus", 0, 5).Hits.empty());
}

TEST_F(SourceFormats, ADocsetGivesEveryRowWithItsTypeInAFolderOrATarball) {
  const TFiles pages = {{"index.html", "<html><title>Start</title><h1>Start</h1></html>"},
                        {"library/json.html", "<html><title>json</title><h1>json</h1></html>"}};
  const std::vector<std::array<std::string, 3>> rows = {
      {"json.dumps", "Function", "library/json.html#json.dumps"},
      {"json.JSONDecoder", "Class", "<dash_entry_name=x>library/json.html#json.JSONDecoder"},
      {"json", "Module", "library/json.html"}};
  for (const bool binary : {false, true}) {
    TScratchFolder parent;
    const auto docset = WriteDocset(parent.Path(), rows, pages, binary);
    ASSERT_EQ(importer::RecogniseSource(docset), TSourceFormat::Docset);
    const TImported imported = Import(docset);
    EXPECT_EQ(imported.Document->StartPagePath(), "index.html");
    EXPECT_EQ(TypedKeywords(*imported.Map), 3u);
    EXPECT_EQ(imported.Map->Keywords.Lookup("json", 1).at(0).Type, "module");
    EXPECT_EQ(imported.Map->Keywords.Lookup("JSONDecoder", 1).at(0).Anchor, "json.JSONDecoder");
    EXPECT_EQ(imported.Map->Keywords.Lookup("dumps", 1).at(0).Type, "function");
  }
  TScratchFolder parent;
  const auto docset = WriteDocset(parent.Path(), rows, pages, true);
  TFiles packed;
  for (const auto& item : std::filesystem::recursive_directory_iterator(docset)) {
    if (item.is_regular_file()) {
      std::ifstream in(item.path(), std::ios::binary);
      packed["Pythonish.docset/" + item.path().lexically_relative(docset).generic_string()] = {
          std::istreambuf_iterator<char>(in), {}};
    }
  }
  const auto tarball = folder_ / "Pythonish.tgz";
  WritePacked(tarball, packed, TPacking::TarGz);
  const TImported imported = Import(tarball);
  EXPECT_EQ(TypedKeywords(*imported.Map), 3u);
  EXPECT_FALSE(imported.Page("library\\json.html").empty());
}

TEST_F(SourceFormats, ASiteArchiveLosesItsOneTopFolder) {
  const auto source = folder_ / "site.tar.gz";
  WritePacked(source,
              {{"site/index.html", "<html lang='en'><title>Home</title><a href='a.html'>A</a>"},
               {"site/a.html", "<html><title>A</title><h1>A</h1></html>"},
               {"site/style.css", "p {}"}},
              TPacking::TarGz);
  ASSERT_EQ(importer::RecogniseSource(source), TSourceFormat::PackedSite);
  const TImported site = Import(source);
  EXPECT_EQ(site.Document->StartPagePath(), "index.html");
  EXPECT_EQ(site.Page("style.css"), "p {}");
}

TEST_F(SourceFormats, ADevhelpBookGivesChaptersAndKeywordsWithTheirKind) {
  const auto book = folder_ / "book";
  WriteFile(book / "index.html", "<html><title>Start</title></html>");
  WriteFile(book / "arrays.html",
            "<html><title>Arrays</title><h1>Arrays</h1><h2 id='GArray'>GArray</h2></html>");
  WriteFile(book / "mini.devhelp2",
            "<?xml version='1.0'?><book xmlns='http://www.devhelp.net/book' title='Mini' "
            "link='index.html' name='mini' version='2' language='c'><chapters><sub name='Arrays' "
            "link='arrays.html'><sub name='Sizes' link='arrays.html#sizes'/></sub></chapters>"
            "<functions><keyword type='function' name='g_array_new\xC2\xA0()' "
            "link='arrays.html#g-array-new'/><keyword type='struct' name='GArray' "
            "link='arrays.html#GArray'/></functions></book>");
  const auto read = importer::ReadDevhelpBook(book / "mini.devhelp2");
  EXPECT_EQ(read.Name, "mini");
  EXPECT_EQ(read.Keywords.at(0).Term, "g_array_new");
  ASSERT_EQ(importer::RecogniseSource(book), TSourceFormat::Devhelp);
  const TImported imported = Import(book);
  EXPECT_EQ(imported.Map->Contents.at(0).Children.at(0).Anchor, "sizes");
  const auto found = imported.Map->Keywords.Lookup("g_array_new", 1);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].Type, "function");
  EXPECT_EQ(found[0].PageTitle, "Arrays");
  // The heading at the keyword's own place does not stand in for it.
  const auto garray = imported.Map->Keywords.Lookup("GArray", 5);
  ASSERT_EQ(garray.size(), 1u);
  EXPECT_EQ(garray[0].Type, "struct");
  // A first-version book writes the kind into the name.
  WriteFile(book / "mini.devhelp2",
            "<book title='Old' link='index.html'><functions><function name='struct GArray' "
            "link='arrays.html#GArray'/><function name='g_free ()' link='arrays.html'/>"
            "</functions></book>");
  const auto old = importer::ReadDevhelpBook(book / "mini.devhelp2");
  ASSERT_EQ(old.Keywords.size(), 2u);
  EXPECT_EQ(old.Keywords[0].Term, "GArray");
  EXPECT_EQ(old.Keywords[0].Type, "struct");
  EXPECT_EQ(old.Keywords[1].Type, "function");
}

}  // namespace
}  // namespace tomelet::testing

namespace tomelet::testing {
namespace {

// objects.inv as Sphinx writes it: four header lines, then zlib-compressed definitions.
TEST(SphinxInventory, EveryDefinitionWithItsRoleButNotPagesOrLabels) {
  const std::string lines =
      "json.dumps py:function 1 library/json.html#$ -\n"
      "json py:module 0 library/json.html#module-$ -\n"
      "usage std:doc -1 usage.html Usage\n"
      "installing std:label -1 usage.html#installing Installing\n"
      "abstract base class std:term -1 glossary.html#term-abstract-base-class -\n";
  uLongf size = compressBound(static_cast<uLong>(lines.size()));
  std::string packed(size, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &size,
           reinterpret_cast<const Bytef*>(lines.data()), static_cast<uLong>(lines.size()));
  packed.resize(size);
  const std::string inventory =
      "# Sphinx inventory version 2\n# Project: X\n# Version: 1\n# The remainder of this file is "
      "compressed using zlib.\n" +
      packed;
  const auto keywords = importer::ReadSphinxInventory(inventory);
  ASSERT_EQ(keywords.size(), 3u);
  EXPECT_EQ(keywords[0].Term, "json.dumps");
  EXPECT_EQ(keywords[0].Anchor, "json.dumps");
  EXPECT_EQ(keywords[0].Type, "function");
  EXPECT_EQ(keywords[1].Anchor, "module-json");
  EXPECT_EQ(keywords[2].Term, "abstract base class");
  EXPECT_EQ(keywords[2].Anchor, "term-abstract-base-class");
  EXPECT_EQ(keywords[2].Type, "term");
  EXPECT_THROW(importer::ReadSphinxInventory(inventory.substr(0, inventory.size() - 4)),
               std::runtime_error);
  EXPECT_THROW(importer::ReadSphinxInventory("# Sphinx inventory version 1\n"), std::runtime_error);
}

}  // namespace
}  // namespace tomelet::testing
