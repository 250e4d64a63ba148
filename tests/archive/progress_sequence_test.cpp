#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

class ProgressSequence : public ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    TZLBArchiveWriter writer;
    writer.AddEntry("half.txt", SampleText(32768));
    writer.AddEntry("stored.txt", SampleText(9000), fcNone);
    writer.AddEntry("empty.txt", "");
    writer.AddRawEntry({.FileName = "zero.z", .CompressedSize = 8, .Method = kMethodDeflated},
                       Deflated({}));
    path_ = WriteArchive(writer);
    arc_.OnProgress = [this](const std::string& msg, int percentage) {
      seen_.push_back(msg + "@" + std::to_string(percentage));
    };
  }
  std::vector<std::string> Extract(const std::string& name) {
    seen_.clear();
    TMemoryStream dest;
    arc_.ExtractToStream(dest, name);
    return seen_;
  }

  std::string path_;
  std::vector<std::string> seen_;
};

TEST_F(ProgressSequence, PercentagesRoundHalfToEven) {
  ASSERT_TRUE(arc_.OpenArchive(path_));
  const std::string m = "Extracting half.txt@";
  EXPECT_EQ(Extract("half.txt"),
            (std::vector<std::string>{m + "12", m + "25", m + "38", m + "50", m + "62", m + "75",
                                      m + "88", m + "100", path_ + "@0"}));
}

TEST_F(ProgressSequence, StoredAndEmptyEntriesReportOnlyTheIdleStep) {
  ASSERT_TRUE(arc_.OpenArchive(path_));
  for (const char* name : {"stored.txt", "empty.txt", "zero.z"}) {
    EXPECT_EQ(Extract(name), std::vector<std::string>{path_ + "@0"}) << name;
  }
  seen_.clear();
  arc_.CloseArchive();
  EXPECT_EQ(seen_, std::vector<std::string>{"@0"});
}

TEST_F(ProgressSequence, FailingHandlerTurnsIntoTheArchiveMessages) {
  ASSERT_TRUE(arc_.OpenArchive(path_));
  arc_.OnProgress = [](const std::string&, int percentage) {
    if (percentage > 0) {
      throw std::runtime_error("cancelled");
    }
  };
  TMemoryStream dest;
  EXPECT_EQ(MessageOf([&] { arc_.ExtractToStream(dest, "half.txt"); }),
            "The archive appears to be corrupted");
  EXPECT_EQ(MessageOf([&] { arc_.OpenArchive(path_); }), "Error reading registry");
}

TEST_F(ProgressSequence, NothingIsReportedWhileTheReaderIsDestroyed) {
  int calls = 0;
  {
    TZLBArc2 arc;
    arc.OpenArchive(path_);
    arc.OnProgress = [&](const std::string&, int) { ++calls; };
  }
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace tomelet::test
