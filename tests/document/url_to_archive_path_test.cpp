#include <gtest/gtest.h>

#include "document/DocumentAddress.h"

namespace tomelet {
namespace {

struct Mapping {
  const char* input;
  const char* expected;
};

class UrlDecoding : public ::testing::TestWithParam<Mapping> {};

TEST_P(UrlDecoding, DecodesAsTheHandlerDoes) {
  EXPECT_EQ(UrlDecode(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, UrlDecoding,
                         ::testing::Values(Mapping{"%41", "A"}, Mapping{"a+b", "a b"},
                                           Mapping{"%2B", "+"}, Mapping{"%2f", "/"},
                                           Mapping{"%", "%"}, Mapping{"abc%", "abc%"},
                                           Mapping{"%4", "%"}, Mapping{"x%4", "x%"},
                                           Mapping{"%zz", "S"}, Mapping{"%%41", "T1"},
                                           Mapping{"%20%20", "  "}, Mapping{"", ""},
                                           Mapping{"%e9", "\xE9"}, Mapping{"%C3%A9", "\xC3\xA9"},
                                           Mapping{"100%25+done", "100% done"}));

class ArchivePathMapping : public ::testing::TestWithParam<Mapping> {};

TEST_P(ArchivePathMapping, MapsTheUrlToItsEntry) {
  EXPECT_EQ(UrlToArchivePath(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Urls, ArchivePathMapping,
                         ::testing::Values(Mapping{"tome://inpack/Index.htm", "Index.htm"},
                                           Mapping{"TOME://INPACK/Index.htm", "Index.htm"},
                                           Mapping{"tome://inpack/img/a%20b.gif?x=1",
                                                   "img\\a b.gif"},
                                           Mapping{"tome://inpack/a+b.htm", "a b.htm"},
                                           Mapping{"tome://inpack/a%2Bb.htm", "a+b.htm"},
                                           Mapping{"tome://inpack/sub%2fpage.htm", "sub\\page.htm"},
                                           Mapping{"tome://inpack/a%3Fb.htm", "a"},
                                           Mapping{"tome://inpack/page.htm#frag", "page.htm#frag"},
                                           Mapping{"tome://inpack/", ""}, Mapping{"tome://inp", ""},
                                           Mapping{"xxxx://xxxxxx/y.htm", "y.htm"}));

}  // namespace
}  // namespace tomelet
