#include <gtest/gtest.h>

#include <string>

#include "WebHost/Urls.h"

namespace tomelet {
namespace {

TEST(NavigableUrlTest, AcceptsAbsoluteUrlsAsPagesWriteThem) {
  EXPECT_TRUE(IsNavigableUrl("tome://inpack/index.htm"));
  EXPECT_TRUE(IsNavigableUrl("about:blank"));
  EXPECT_TRUE(IsNavigableUrl("tome://inpack/a b.htm"));
  EXPECT_TRUE(IsNavigableUrl("tome://inpack/a%zz.htm"));
  EXPECT_TRUE(IsNavigableUrl("tome://inpack/\xC3\xA4.htm?x=1#frag"));
}

TEST(NavigableUrlTest, RefusesWhatIsNoAbsoluteUrl) {
  EXPECT_FALSE(IsNavigableUrl(""));
  EXPECT_FALSE(IsNavigableUrl("index.htm"));
  EXPECT_FALSE(IsNavigableUrl("/home/user/index.htm"));
  EXPECT_FALSE(IsNavigableUrl("http://[::1"));
  EXPECT_FALSE(IsNavigableUrl(std::string("tome://inpack/a\0b.htm", 21)));
}

TEST(DocumentUrlTest, IsTheDocumentSchemeInAnyLetterCase) {
  EXPECT_TRUE(IsDocumentUrl("tome://inpack/x.zip"));
  EXPECT_TRUE(IsDocumentUrl("TOME://INPACK/x.zip"));
  EXPECT_FALSE(IsDocumentUrl("tomes://inpack/x.zip"));
  EXPECT_FALSE(IsDocumentUrl("http://tome/x.zip"));
  EXPECT_FALSE(IsDocumentUrl("tome"));
}

TEST(AddressNameTest, IsTheDecodedLastSegmentWithoutQueryAndAnchor) {
  EXPECT_EQ(AddressName("tome://inpack/files/set%20up.zip?x=1#part"), "set up.zip");
  EXPECT_EQ(AddressName("tome://inpack/a+b.pdf"), "a+b.pdf");
  EXPECT_EQ(AddressName("tome://inpack/folder/"), "");
  EXPECT_EQ(AddressName("notes.txt"), "notes.txt");
}

}  // namespace
}  // namespace tomelet
