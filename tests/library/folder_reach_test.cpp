// What a served folder reaches: its own files, through links too, each once; what links lead to
// outside it only when asked; and links in a loop end instead of listing a file without end.
#include <gtest/gtest.h>

#include <fstream>

#include "library/Library.h"
#include "tests/support/TestDocument.h"

namespace tomelet::library {
namespace {

namespace fs = std::filesystem;
using tomelet::testing::TScratchFolder;
using tomelet::testing::TTestDocument;

std::vector<std::string> Names(const TLibrary& library) {
  std::vector<std::string> names;
  for (const auto& document : *library.Documents()) {
    names.push_back(document->Name());
  }
  return names;
}

class FolderReachTest : public ::testing::Test {
 protected:
  FolderReachTest() {
    fs::create_directories(served_ / "sub");
    fs::create_directories(outside_ / "more");
    TTestDocument().Entry("a.htm", "a").WriteTo(served_ / "sub" / "inner.tlt");
    TTestDocument().Entry("a.htm", "a").WriteTo(outside_ / "away.tlt");
    TTestDocument().Entry("a.htm", "a").WriteTo(outside_ / "more" / "far.tlt");
    std::ofstream(outside_ / "passwd") << "root:x:0:0::/root:/bin/sh\n";
  }

  TScratchFolder folder_;
  fs::path served_ = folder_.Path() / "served";
  fs::path outside_ = folder_.Path() / "outside";
};

TEST_F(FolderReachTest, LinksInALoopListEachDocumentOnce) {
  fs::create_directory_symlink(".", served_ / "sub" / "a");
  fs::create_directory_symlink(".", served_ / "sub" / "b");
  fs::create_directory_symlink("..", served_ / "sub" / "up");
  fs::create_directory_symlink(served_, outside_ / "more" / "back");
  fs::create_directory_symlink(outside_, served_ / "out");
  const TLibrary inside({served_}, {.Recursive = true});
  EXPECT_EQ(Names(inside), std::vector<std::string>{"sub-inner"});
  const TLibrary followed({served_}, {.Recursive = true, .FollowLinks = true});
  EXPECT_EQ(Names(followed), (std::vector<std::string>{"out-away", "out-more-far", "sub-inner"}));
}

TEST_F(FolderReachTest, LinksLeadOutsideTheFolderOnlyWhenAsked) {
  fs::create_symlink(served_ / "sub" / "inner.tlt", served_ / "alias.tlt");
  fs::create_symlink(outside_ / "away.tlt", served_ / "away.tlt");
  fs::create_symlink(outside_ / "passwd", served_ / "passwd.tlt");
  fs::create_directory_symlink(outside_ / "more", served_ / "more");
  const TLibrary served({served_}, {.Recursive = true});
  EXPECT_EQ(Names(served), (std::vector<std::string>{"alias", "sub-inner"}));
  const TLibrary followed({served_}, {.Recursive = true, .FollowLinks = true});
  EXPECT_EQ(Names(followed),
            (std::vector<std::string>{"alias", "away", "more-far", "passwd", "sub-inner"}));
}

}  // namespace
}  // namespace tomelet::library
