#include <gtest/gtest.h>

#include "tools/tomelet/EntryPath.h"

namespace tomelet::cli {
namespace {

struct HostileName {
  std::string archivePath;
  std::string reason;
};

class HostileEntryName : public ::testing::TestWithParam<HostileName> {};

TEST_P(HostileEntryName, IsRefusedWithTheEntryNamed) {
  try {
    ExtractionPath(GetParam().archivePath);
    FAIL() << "accepted " << GetParam().archivePath;
  } catch (const EUnsafeEntryName& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(GetParam().reason), std::string::npos) << message;
    EXPECT_NE(message.find("Refusing to extract"), std::string::npos) << message;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostileEntryName,
    ::testing::Values(HostileName{"..\\x", "parent"}, HostileName{"a\\..\\..\\x", "parent"},
                      HostileName{"a\\..", "parent"}, HostileName{".\\x", "current"},
                      HostileName{"\\etc\\x", "absolute"}, HostileName{"/etc/x", "absolute"},
                      HostileName{"\\\\server\\share\\x", "absolute"},
                      HostileName{"C:x", "drive letter"}, HostileName{"c:\\x", "drive letter"},
                      HostileName{"a/../../x", "\"/\""}, HostileName{"a\\b/c", "\"/\""},
                      HostileName{"a\\\\b", "empty"}, HostileName{"a\\", "empty"},
                      HostileName{"", "empty"}, HostileName{std::string("a\0b", 3), "NUL"}));

TEST(EntryPath, ControlBytesAreSpelledOutInTheRefusal) {
  try {
    ExtractionPath(std::string("bad\0\n\\x", 7));
    FAIL();
  } catch (const EUnsafeEntryName& e) {
    EXPECT_EQ(std::string(e.what()),
              "Refusing to extract \"bad\\x00\\n\\x\": it has a NUL byte inside a name");
  }
}

TEST(EntryPath, PlainNamesKeepTheirFolders) {
  EXPECT_EQ(ExtractionPath("index.htm"), (std::vector<std::string>{"index.htm"}));
  EXPECT_EQ(ExtractionPath("images\\icons\\help.png"),
            (std::vector<std::string>{"images", "icons", "help.png"}));
  EXPECT_EQ(ExtractionPath("-config-"), (std::vector<std::string>{"-config-"}));
}

TEST(EntryPath, NamesThatOnlyLookOddAreAccepted) {
  EXPECT_EQ(ExtractionPath("...\\..a\\b..\\read me.htm"),
            (std::vector<std::string>{"...", "..a", "b..", "read me.htm"}));
  // A colon after the first component is not a drive letter.
  EXPECT_EQ(ExtractionPath("notes\\10:30.txt"), (std::vector<std::string>{"notes", "10:30.txt"}));
}

TEST(EntryPath, Windows1252NamesBecomeUtf8) {
  EXPECT_EQ(ExtractionPath("caf\xE9\\men\xFC.htm"),
            (std::vector<std::string>{"caf\xC3\xA9", "men\xC3\xBC.htm"}));
}

}  // namespace
}  // namespace tomelet::cli
