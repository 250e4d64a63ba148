#include <gtest/gtest.h>

#include "platform/text/Accents.h"

namespace tomelet {
namespace {

TEST(AccentFolding, MakesLatinLettersPlainAndKeepsEverythingElse) {
  EXPECT_EQ(FoldAccents("r\xC3\xA9sum\xC3\xA9"), "resume");      // résumé
  EXPECT_EQ(FoldAccents("\xC3\x85ngstr\xC3\xB6m"), "Angstrom");  // Ångström
  EXPECT_EQ(FoldAccents("Stra\xC3\x9F"
                        "e \xC5\x92uvre"),
            "Strasse OEuvre");                                  // Straße Œuvre
  EXPECT_EQ(FoldAccents("\xC5\xBC\xC3\xB3\xC5\x82w"), "zolw");  // żółw
  EXPECT_EQ(FoldAccents("\xC5\xBF"), "s");  // the last letter of the table, long s
  // Decomposed: e and a combining acute accent.
  EXPECT_EQ(FoldAccents("cafe\xCC\x81"), "cafe");
  // Multiplication sign, thorn, Greek, CJK and a malformed byte stay.
  for (const std::string_view kept : {"\xC3\x97", "\xC3\xBE", "\xCE\xB1\xCE\xB2", "\xE6\x96\x87",
                                      "a\xFF"
                                      "b",
                                      "plain ascii"}) {
    EXPECT_EQ(FoldAccents(kept), kept);
    EXPECT_FALSE(HasAccents(kept));
  }
  EXPECT_TRUE(HasAccents("na\xC3\xAFve"));
}

}  // namespace
}  // namespace tomelet
