#include <fstream>

#include "Unit1/SourceImport.h"
#include "main_window_fakes.h"

namespace tomelet::testing {
namespace {

using DocumentOpeningTest = MainWindowTest;

TEST_F(DocumentOpeningTest, AppendedDocumentWinsOverAnyArgument) {
  const auto other = Document("other.tlt", FriendlyOptions());
  auto appendedOptions = FriendlyOptions();
  appendedOptions.SetShortStringAt(option_offset::StartPage, "own.htm");
  const auto selfContained = Document(
      "self-contained", Manual().Options(appendedOptions).AfterExecutable(bareExecutable_));

  auto& logic = Logic({other}, selfContained);
  logic.FormCreate();

  EXPECT_EQ(arc.ArchiveFileName(), selfContained);
  EXPECT_EQ(browser.navigations, std::vector<std::string>{"tome://inpack/own.htm"});
  EXPECT_EQ(dialogs.documentRequests, 0);
}

TEST_F(DocumentOpeningTest, OneTltArgumentOpensThatFile) {
  const auto path = Document("manual.tlt", FriendlyOptions());
  Logic({path}).FormCreate();

  EXPECT_EQ(arc.ArchiveFileName(), path);
  EXPECT_EQ(view.terminated, 0);
  EXPECT_EQ(browser.navigations, std::vector<std::string>{"tome://inpack/index.htm"});
}

// The start reads what it needs of the document and no more: a large document whose checksum was
// never right still opens, as it did where documents were first made.
TEST_F(DocumentOpeningTest, AWrongArchiveChecksumDoesNotKeepTheDocumentShut) {
  const auto path = Document("manual.tlt", FriendlyOptions());
  {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(-static_cast<std::streamoff>(kTrailerSize), std::ios::end);
    file.write("\xde\xad\xbe\xef", 4);
  }
  Logic({path}).FormCreate();

  EXPECT_EQ(browser.navigations, std::vector<std::string>{"tome://inpack/index.htm"});
  EXPECT_TRUE(dialogs.information.empty());
  EXPECT_FALSE(arc.VerifyArchiveCRC);
  EXPECT_TRUE(arc.SavePaths);
}

class WrongExtensionTest : public MainWindowTest,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(WrongExtensionTest, EndsWithoutAnyMessage) {
  const auto path = Document(GetParam(), FriendlyOptions());
  Logic({path}).FormCreate();

  EXPECT_EQ(view.terminated, 1);
  EXPECT_TRUE(browser.navigations.empty());
  EXPECT_TRUE(dialogs.information.empty());
  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_EQ(dialogs.documentRequests, 0);
}

INSTANTIATE_TEST_SUITE_P(Arguments, WrongExtensionTest,
                         ::testing::Values("manual.TLT", "manual.Tlt", "manual.zip", "manual",
                                           "manual.tlt.bak"));

TEST(ArgumentExtension, TakesTheTextFromTheLastDotAfterEverySeparator) {
  EXPECT_EQ(ArgumentExtension("a/b/manual.tlt"), ".tlt");
  EXPECT_EQ(ArgumentExtension("C:\\docs.d\\manual"), "");
  EXPECT_EQ(ArgumentExtension("docs.tlt/manual"), "");
  EXPECT_EQ(ArgumentExtension("C:.tlt"), ".tlt");
  EXPECT_EQ(ArgumentExtension("x.tlt:stream"), "");
  EXPECT_EQ(ArgumentExtension(".tlt"), ".tlt");
  EXPECT_EQ(ArgumentExtension("manual."), ".");
}

TEST_F(DocumentOpeningTest, NoArgumentOrSeveralAskWithTheOpenDialog) {
  const auto path = Document("chosen.tlt", FriendlyOptions());
  dialogs.chosenDocument = path;

  Logic({}).FormCreate();
  EXPECT_EQ(dialogs.documentRequests, 1);
  EXPECT_EQ(arc.ArchiveFileName(), path);

  Logic({path, path}).FormCreate();
  EXPECT_EQ(dialogs.documentRequests, 2);
  EXPECT_EQ(view.terminated, 0);
}

TEST_F(DocumentOpeningTest, ChosenFileNeedsNoTltExtension) {
  dialogs.chosenDocument = Document("chosen.data", FriendlyOptions());
  Logic({}).FormCreate();
  EXPECT_EQ(browser.navigations.size(), 1u);
}

TEST_F(DocumentOpeningTest, CancelledDialogEndsWithoutAMessage) {
  Logic({"a.tlt", "b.tlt"}).FormCreate();

  EXPECT_EQ(view.terminated, 1);
  EXPECT_TRUE(dialogs.information.empty());
  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_TRUE(browser.navigations.empty());
}

// The dialog names the file and says what it is, not what its bytes read as a trailer say.
TEST_F(DocumentOpeningTest, UnreadableDocumentIsNamedWithWhatItIsAndStopsThere) {
  const auto path = Write("broken.tlt", "far too short to carry a trailer of 36 bytes");
  Started(path);

  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_EQ(dialogs.errors.front(), path + " is not a Tomelet document");
  EXPECT_EQ(view.terminated, 0);
  EXPECT_EQ(view.width, -1) << "the window keeps its own settings";
  EXPECT_TRUE(browser.navigations.empty());
}

TEST_F(DocumentOpeningTest, MissingDocumentIsNamed) {
  const std::string path = (folder_ / "absent.tlt").string();
  Started(path);
  EXPECT_EQ(dialogs.errors, std::vector<std::string>{"Archive file not found: " + path});
  EXPECT_TRUE(browser.navigations.empty());
}

TEST_F(DocumentOpeningTest, ProtocolIsRegisteredBeforeTheDocumentOpens) {
  Logic({"x.zip"}).FormCreate();
  EXPECT_EQ(protocol.registered, 1) << "registered even when the start-up ends early";
}

TEST_F(DocumentOpeningTest, FailedRegistrationIsReportedAndStartUpGoesOn) {
  protocol.refuse = true;
  Started(Document("manual.tlt", FriendlyOptions()));

  EXPECT_EQ(dialogs.information, std::vector<std::string>{"Error registering Pluggable Protocol"});
  EXPECT_EQ(browser.navigations.size(), 1u);
}

}  // namespace
}  // namespace tomelet::testing

namespace tomelet::testing {
namespace {

// A source the viewer imports goes through the import once per version of it; a failed import
// is told and ends the start.
TEST_F(DocumentOpeningTest, ASourceIsImportedOnceIntoTheCacheAndAFailureIsTold) {
  ::setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1);
  const auto book = folder_ / "book";
  WriteFile(book / "index.html", "<html></html>");
  WriteFile(book / "b.devhelp2", "<book title='B' link='index.html'></book>");
  const auto cached = ImportedDocumentPath(book);
  EXPECT_EQ(cached.parent_path(), folder_ / "cache" / "tomelet" / "imported");
  EXPECT_EQ(ImportedDocumentPath(book), cached);
  dialogs.importFailure = "book: the reader ended unexpectedly";
  Logic({book.string()}).FormCreate();
  EXPECT_EQ(dialogs.imports, std::vector<std::string>{book.string()});
  EXPECT_EQ(dialogs.information, std::vector<std::string>{"book: the reader ended unexpectedly"});
  EXPECT_EQ(view.terminated, 1);

  WriteFile(book / "more.html", "<html>changed</html>");
  EXPECT_NE(ImportedDocumentPath(book), cached) << "a changed source is imported anew";
  EXPECT_FALSE(IsImportableSource(folder_ / "missing.chm"));
}

}  // namespace
}  // namespace tomelet::testing
