#include <gtest/gtest.h>

#include "platform/text/ShownText.h"

namespace tomelet {
namespace {

TEST(ShownName, ControlCharactersCannotReachTheTerminal) {
  // A title change, a screen clear and a forged line, as a hostile entry name would carry them.
  EXPECT_EQ(ShownName("a\x1b]0;pwned\x07\x1b[2Jb"), "a\\x1b]0;pwned\\x07\\x1b[2Jb");
  EXPECT_EQ(ShownName("page.htm\n-rw- forged.htm"), "page.htm\\n-rw- forged.htm");
  EXPECT_EQ(ShownName("tab\there\rdel\x7f"), "tab\\there\\rdel\\x7f");
  EXPECT_EQ(ShownName(std::string_view("nul\0x", 5)), "nul\\x00x");
}

TEST(ShownName, C1ControlsAreEscapedButOtherCharactersStay) {
  EXPECT_EQ(ShownName("csi\xc2\x9b"
                      "2J"),
            "csi\\u009b2J");
  EXPECT_EQ(ShownName("L\xc3\xb6wis \xc2\xa0 \xe2\x82\xac"), "L\xc3\xb6wis \xc2\xa0 \xe2\x82\xac");
  // Windows-1252 names are converted first; its undefined 0x81 becomes the C1 character U+0081.
  EXPECT_EQ(ShownName("caf\xe9\x81"), "caf\xc3\xa9\\u0081");
}

TEST(ShownName, ATypedUtf8NameStaysWhateverElseTheMessageQuotes) {
  // A typed "cafÉ.htm" beside a stored Windows-1252 "café.htm": each is shown as it was meant,
  // never the typed one read again as Windows-1252 ("cafÃ‰").
  EXPECT_EQ(ShownName("caf\xc3\x89.htm not found in archive; caf\xe9.htm is"),
            "caf\xc3\x89.htm not found in archive; caf\xc3\xa9.htm is");
  EXPECT_EQ(ShownName("D\xc3\x89J\xc3\x80\\vu.txt \x93\xe9\x94"),
            "D\xc3\x89J\xc3\x80\\vu.txt \xe2\x80\x9c\xc3\xa9\xe2\x80\x9d");
}

}  // namespace
}  // namespace tomelet
