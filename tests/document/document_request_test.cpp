// The request core over the document handle every front end holds, the viewer's included.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "document/Document.h"
#include "document/DocumentRequest.h"
#include "tests/support/TestDocument.h"

namespace tomelet {
namespace {

namespace fs = std::filesystem;

class DocumentRequest : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path file = testing::TTestDocument()
                              .Entry("Index.htm", "<html>index</html>")
                              .Entry("img\\a b.gif", "GIF89a")
                              .Entry("caf\xE9.htm", "legacy name")
                              .Entry("noextension", "plain")
                              .Entry("c++.htm", "plus signs")
                              .Entry("a b.htm", "space")
                              .Entry("a+b.htm", "plus")
                              .Entry("guide\\index.htm", "guide htm")
                              .Entry("guide\\index.html", "guide html")
                              .Entry("old\\INDEX.HTM", "old htm")
                              .Entry("caf\xE9\\index.html", "legacy folder")
                              .Entry("notes", "notes file")
                              .Entry("notes\\index.html", "notes index")
                              .StartPageOption("Index.htm")
                              .Claiming("damaged.htm", std::string(8, '\xAB'), 100)
                              .WriteTo(folder_ / "document.tlt");
    document_ = OpenDocument(file);
  }

  TDocumentReply Request(std::string_view address, const TTempFileWriter& writer = nullptr) {
    return RequestDocumentEntry(*document_, address, writer);
  }

  testing::TScratchFolder folder_;
  std::shared_ptr<const TDocument> document_;
};

TEST_F(DocumentRequest, ServesBytesAndTypeOfTheEntryTheAddressNames) {
  TDocumentReply reply = Request("TOME://INPACK/img/a%20b.GIF?x=1");
  ASSERT_EQ(reply.Status, TDocumentReply::TStatus::Served);
  EXPECT_EQ(reply.Contents.View(), "GIF89a");
  EXPECT_EQ(reply.Location.RequestedPath, "img\\a b.GIF");
  EXPECT_EQ(reply.Location.StoredPath, "img\\a b.gif");
  EXPECT_EQ(reply.Location.MimeType, "image/gif");
  EXPECT_TRUE(reply.TempFileName.empty());
  EXPECT_EQ(Request("tome://inpack/noextension").Location.MimeType, "");
}

TEST_F(DocumentRequest, RetriesTheWindows1252FormOfTheName) {
  for (const char* address : {"tome://inpack/caf%C3%A9.htm", "tome://inpack/caf%E9.htm"}) {
    TDocumentReply reply = Request(address);
    ASSERT_EQ(reply.Status, TDocumentReply::TStatus::Served) << address;
    EXPECT_EQ(reply.Contents.View(), "legacy name");
    EXPECT_EQ(reply.Location.Entry.ArchivePath, "caf\xE9.htm");
  }
  EXPECT_FALSE(document_->Find("CAF\xC3\x89.htm").Found());
}

// "+" reads as a space first, as addresses are decoded; a name with a real "+" is still reached.
TEST_F(DocumentRequest, APlusIsASpaceUnlessOnlyThePlusNamesAnEntry) {
  EXPECT_EQ(Request("tome://inpack/c++.htm").Contents.View(), "plus signs");
  EXPECT_EQ(Request("tome://inpack/C++.HTM?x=a+b").Contents.View(), "plus signs");
  EXPECT_EQ(Request("tome://inpack/a+b.htm").Contents.View(), "space");
  EXPECT_EQ(Request("tome://inpack/a%2Bb.htm").Contents.View(), "plus");
  EXPECT_EQ(Request("tome://inpack/x+y.htm").Status, TDocumentReply::TStatus::NotFound);
}

TEST_F(DocumentRequest, TellsMissingAndDamagedEntriesApart) {
  TDocumentReply missing = Request("tome://inpack/missing.htm");
  EXPECT_EQ(missing.Status, TDocumentReply::TStatus::NotFound);
  EXPECT_EQ(missing.Location.Entry.ArchivePath, "missing.htm");
  EXPECT_EQ(Request("tome://inpack/damaged.htm").Status, TDocumentReply::TStatus::Unreadable);
}

// Site generators link their pages as folders ("guide/"); a folder without an index page has
// nothing to show.
TEST_F(DocumentRequest, AFolderAddressLeadsToTheFolderIndexPage) {
  TDocumentReply reply = Request("tome://inpack/guide/");
  ASSERT_EQ(reply.Status, TDocumentReply::TStatus::Served);
  EXPECT_EQ(reply.Contents.View(), "guide html");
  EXPECT_EQ(reply.Location.RequestedPath, "guide\\");
  EXPECT_EQ(reply.Location.StoredPath, "guide\\index.html");
  EXPECT_EQ(reply.Location.MimeType, "text/html");
  EXPECT_EQ(Request("tome://inpack/GUIDE/?from=nav").Contents.View(), "guide html");
  EXPECT_EQ(Request("tome://inpack/old/").Contents.View(), "old htm");
  EXPECT_EQ(Request("tome://inpack/caf%C3%A9/").Contents.View(), "legacy folder");
  EXPECT_EQ(Request("tome://inpack/").Contents.View(), "<html>index</html>");
  EXPECT_EQ(Request("tome://inpack/notes/").Contents.View(), "notes index");
  for (const char* address :
       {"tome://inpack/img/", "tome://inpack/nothere/", "tome://inpack/guide//"})
    EXPECT_EQ(Request(address).Status, TDocumentReply::TStatus::NotFound) << address;
}

// Without its "/" a folder's page would resolve its relative links against the parent, so the
// address is not served but marked for a redirect; an entry of that exact name still wins.
TEST_F(DocumentRequest, AFolderNamedWithoutItsSlashIsMarkedNotServed) {
  for (const char* address :
       {"tome://inpack/guide", "tome://inpack/Old?x=1", "tome://inpack/caf%E9"}) {
    const TDocumentReply reply = Request(address);
    EXPECT_EQ(reply.Status, TDocumentReply::TStatus::NotFound) << address;
    EXPECT_TRUE(reply.Location.FolderWithoutSlash) << address;
  }
  const TDocumentReply file = Request("tome://inpack/notes");
  EXPECT_EQ(file.Contents.View(), "notes file");
  EXPECT_FALSE(file.Location.FolderWithoutSlash);
  for (const char* address :
       {"tome://inpack/img", "tome://inpack/missing", "tome://inpack/index.htm/x"})
    EXPECT_FALSE(Request(address).Location.FolderWithoutSlash) << address;
}

TEST_F(DocumentRequest, WritesTheFileFromTheInflatedBytesOnlyWhenAsked) {
  std::string seenPath, seenBytes;
  auto writer = [&](const std::string& storedPath, std::span<const std::byte> bytes) {
    seenPath = storedPath;
    seenBytes.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return std::string("/written/by/the/front/end");
  };
  TDocumentReply reply = Request("tome://inpack/index.htm", writer);
  ASSERT_EQ(reply.Status, TDocumentReply::TStatus::Served);
  EXPECT_EQ(seenPath, "Index.htm");
  EXPECT_EQ(seenBytes, "<html>index</html>");
  EXPECT_EQ(reply.TempFileName, "/written/by/the/front/end");

  auto failing = [](const std::string&, std::span<const std::byte>) -> std::string {
    throw std::runtime_error("disk full");
  };
  EXPECT_EQ(Request("tome://inpack/index.htm", failing).Status,
            TDocumentReply::TStatus::FileFailed);
}

TEST_F(DocumentRequest, ReadsTheOptionsRecordOfTheReservedEntry) {
  EXPECT_EQ(document_->Options().StartPageOption(), "Index.htm");
  EXPECT_TRUE(IsReservedEntry("-CONFIG-"));
  EXPECT_TRUE(IsReservedEntry("-logo-"));
  EXPECT_FALSE(IsReservedEntry("sub\\-logo-"));
}

TEST(PasswordMatching, ExactOrWindows1252FormOnly) {
  EXPECT_TRUE(PasswordMatches("Key", "Key"));
  EXPECT_FALSE(PasswordMatches("key", "Key"));
  EXPECT_FALSE(PasswordMatches("Key ", "Key"));
  EXPECT_TRUE(PasswordMatches("\xE2\x82\xAC", "\x80"));  // the euro sign
  EXPECT_FALSE(PasswordMatches("", "\x80"));
}

}  // namespace
}  // namespace tomelet
