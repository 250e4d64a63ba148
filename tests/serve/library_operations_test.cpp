// A library as an operator runs it, in the real program: files removed, replaced and renamed
// under a running server, its reload, its messages about the files it is given.
#include <chrono>
#include <thread>

#include "tests/serve/library_fixture.h"
#include "tests/serve/serve_process.h"

namespace tomelet::serve::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class LibraryOperationsTest : public LibraryTest {
 protected:
  std::unique_ptr<ServeProcess> StartServe(std::vector<std::string> options = {}) {
    options.insert(options.begin(), {shelf_.string(), "--recursive", "--port", "0"});
    auto serve = std::make_unique<ServeProcess>(options);
    port_ = PortOf(serve->FirstLine());
    EXPECT_NE(port_, 0) << serve->Errors();
    return serve;
  }
  httplib::Result At(const std::string& target) const {
    httplib::Client client("127.0.0.1", port_);
    return client.Get(target);
  }
  // Waits until the target answers with the status, a few seconds at most.
  bool Answers(const std::string& target, int status) const {
    for (int tries = 0; tries < 250; ++tries) {
      const auto result = At(target);
      if (result && result->status == status) {
        return true;
      }
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  std::uint16_t port_ = 0;
};

TEST_F(LibraryOperationsTest, ARemovedDocumentIsClosedSoItsSpaceComesBack) {
  auto serve = StartServe();
  for (const std::string name : {"python-3", "de-handbuch"}) {
    ASSERT_EQ(At("/" + name + "/index.html")->status, 200);
    ASSERT_EQ(At("/" + name + "/-/contents")->status, 200);
  }
  fs::remove(shelf_ / "Python 3.tlt");
  fs::remove(shelf_ / "de" / "handbuch.tlt");
  ASSERT_TRUE(Answers("/python-3/", 404));
  ASSERT_TRUE(Answers("/de-handbuch/", 404));
  // Work under way on the document when its file went, such as building its index, lets the
  // file go as it ends.
  for (int tries = 0; tries < 250 && serve->DeletedFilesHeld() > 0; ++tries) {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(serve->DeletedFilesHeld(), 0);
}

// A deployment replaces a file with an atomic rename, or a whole folder by renaming the old one
// away and the new one into its place: the server answers from the old file until it has the
// new one open, and a request for an unchanged document never notices.
TEST_F(LibraryOperationsTest, ReplacingAndRenamingUnderLoadFailNoRequest) {
  auto serve = StartServe();
  const std::string fresh = Page("en", "Python Again", "new words");
  const std::string third = Page("en", "Python Third", "third words");
  TRequestLoad python(port_, "/python-3/index.html", {kPythonPage, fresh, third});
  TRequestLoad german(port_, "/de-handbuch/big.txt", {PageText("big", 20000)});
  ASSERT_TRUE(python.Saw(kPythonPage));

  WriteDocument(shelf_ / "Python 3.tlt", fresh);
  EXPECT_TRUE(python.Saw(fresh));

  const fs::path next = folder_.Path() / "next";
  fs::copy(shelf_, next, fs::copy_options::recursive);
  WriteDocument(next / "Python 3.tlt", third);
  fs::rename(shelf_, folder_.Path() / "old");
  // Long enough for the server to look for the folder more than once.
  std::this_thread::sleep_for(1500ms);
  fs::rename(next, shelf_);
  EXPECT_TRUE(python.Saw(third));

  fs::remove(shelf_ / "secret.tlt");
  EXPECT_TRUE(Answers("/secret/", 404));
  EXPECT_EQ(python.Stop(), 0);
  EXPECT_EQ(german.Stop(), 0);
  EXPECT_EQ(python.Wrong() + german.Wrong(), 0);
  EXPECT_GT(python.Answered(), 50);
}

// cp over the file writes it in place: requests that would read its torn bytes fail cleanly,
// none gets bytes of two documents, and the new one is served once written.
TEST_F(LibraryOperationsTest, WritingAFileOverInPlaceNeverMixesDocuments) {
  auto serve = StartServe();
  const std::string fresh = Page("en", "Python Again", PageText("again", 3000));
  TRequestLoad python(port_, "/python-3/index.html", {kPythonPage, fresh});
  ASSERT_TRUE(python.Saw(kPythonPage));
  const fs::path written = folder_.Path() / "written.tlt";
  WriteDocument(written, fresh);
  fs::copy_file(written, shelf_ / "Python 3.tlt", fs::copy_options::overwrite_existing);
  EXPECT_TRUE(python.Saw(fresh));
  python.Stop();
  EXPECT_EQ(python.Wrong(), 0);
}

}  // namespace
}  // namespace tomelet::serve::testing
