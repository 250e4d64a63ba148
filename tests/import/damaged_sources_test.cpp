// A damaged or hostile source ends the import with a message naming the file and what is wrong,
// and leaves no document behind: cut short, a name climbing out of the container, an index
// pointing nowhere, a decompression bomb, and files that are no source at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "import/Import.h"
#include "tests/import/SourceFixtures.h"
#include "tests/support/TestDocument.h"

namespace tomelet::testing {
namespace {

class DamagedSources : public ::testing::Test {
 protected:
  // The message of the refusal; fails the test when the import succeeds or leaves output.
  std::string Refusal(const std::filesystem::path& source) {
    try {
      importer::ImportDocument(source, document_.string(), {});
    } catch (const importer::EImportError& e) {
      EXPECT_FALSE(std::filesystem::exists(document_)) << source;
      EXPECT_EQ(std::string(e.what()).rfind(source.string() + ": ", 0), 0u) << e.what();
      return e.what();
    }
    ADD_FAILURE() << source << " was imported";
    return {};
  }

  void Truncate(const std::filesystem::path& file, double share) {
    std::filesystem::resize_file(
        file, static_cast<std::uintmax_t>(std::filesystem::file_size(file) * share));
  }

  TScratchFolder folder_;
  std::filesystem::path document_ = folder_ / "out.tlt";
};

TEST_F(DamagedSources, ATruncatedArchiveOrBookIsRefused) {
  const auto epub = folder_ / "book.epub";
  WritePacked(epub, EpubFiles(), TPacking::Zip);
  Truncate(epub, 0.6);
  {
    const std::string message = Refusal(epub);
    EXPECT_NE(message.find("damaged"), std::string::npos) << message;
  }
  const auto site = folder_ / "site.tgz";
  TFiles many;
  for (int i = 0; i < 50; ++i)
    many["page" + std::to_string(i) + ".html"] = std::string(2000, static_cast<char>('a' + i % 26));
  WritePacked(site, many, TPacking::TarGz);
  Truncate(site, 0.5);
  Refusal(site);
}

TEST_F(DamagedSources, ANameOutsideTheContainerIsRefused) {
  const auto site = folder_ / "evil.tar.gz";
  WritePacked(site, {{"index.html", "<html></html>"}, {"../../escape.html", "<html></html>"}},
              TPacking::TarGz);
  {
    const std::string message = Refusal(site);
    EXPECT_NE(message.find("leads outside the container"), std::string::npos) << message;
  }
  EXPECT_FALSE(std::filesystem::exists(folder_.Path().parent_path() / "escape.html"));
}

TEST_F(DamagedSources, AnIndexPointingNowhereIsRefused) {
  TFiles epub = EpubFiles();
  epub.erase("OEBPS/book.opf");
  const auto book = folder_ / "book.epub";
  WritePacked(book, epub, TPacking::Zip);
  {
    const std::string message = Refusal(book);
    EXPECT_NE(message.find("has no OEBPS/book.opf"), std::string::npos) << message;
  }
  const auto docset = WriteDocset(folder_.Path(), {}, {{"index.html", "<html></html>"}}, false);
  WriteFile(docset / "Contents/Resources/docSet.dsidx", "SQLite format 3 but not really");
  {
    const std::string message = Refusal(docset);
    EXPECT_NE(message.find("docSet.dsidx"), std::string::npos) << message;
  }
}

TEST_F(DamagedSources, ADecompressionBombIsStoppedByItsExpansion) {
  const auto bomb = folder_ / "bomb.zip";
  WritePacked(bomb, {{"index.html", "<html></html>"}, {"zeros.bin", std::string(80 << 20, '\0')}},
              TPacking::Zip);
  ASSERT_LT(std::filesystem::file_size(bomb), 1u << 20);
  {
    const std::string message = Refusal(bomb);
    EXPECT_NE(message.find("expands to more than"), std::string::npos) << message;
  }
}

TEST_F(DamagedSources, WhatIsNoSourceIsNamedAsSuch) {
  const auto text = folder_ / "notes.chm";
  WriteFile(text, "just some notes");
  {
    const std::string message = Refusal(text);
    EXPECT_NE(message.find("not a CHM, ZIM, EPUB"), std::string::npos) << message;
  }
  const auto fake = folder_ / "fake.chm";
  WriteFile(fake, std::string("ITSF") + std::string(200, '\x01'));
  Refusal(fake);
  const auto zim = folder_ / "fake.zim";
  WriteFile(zim, std::string("ZIM\x04", 4) + std::string(200, '\0'));
  Refusal(zim);
  EXPECT_NE(Refusal(folder_ / "missing.epub").find("no such file"), std::string::npos);
}

}  // namespace
}  // namespace tomelet::testing
