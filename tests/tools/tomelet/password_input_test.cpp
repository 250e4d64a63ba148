// serve's password of a protected document, as read without a terminal: from standard input or
// from a file, one line and no more.
#include <gtest/gtest.h>

#include "tests/support/TestDocument.h"
#include "tool_process.h"

namespace tomelet::testing {
namespace {

class PasswordInput : public ::testing::Test {
 protected:
  PasswordInput() {
    TTestDocument()
        .Entry("index.htm", kSamplePage)
        .StartPageOption("index.htm")
        .Password("secret")
        .WriteTo(document_);
  }

  TScratchFolder folder_;
  std::filesystem::path document_ = folder_ / "locked.tlt";
};

TEST_F(PasswordInput, WithoutATerminalThePromptAndTheFailureAreLinesOfTheirOwn) {
  const auto result = RunTool({"serve", "--port", "0", document_.string()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(result.err.starts_with("Please provide a password to view content of this file \n"))
      << result.err;
  EXPECT_TRUE(result.LastErrorLine().starts_with("No password given: ")) << result.err;
  EXPECT_NE(result.LastErrorLine().find("--password-file"), std::string::npos) << result.err;
}

TEST_F(PasswordInput, AnEndlessLineIsRefusedAfterABoundedRead) {
  // /dev/zero is a line that never ends; read whole, it would take all the memory there is.
  const auto endless =
      RunTool({"serve", "--port", "0", "--password-file", "/dev/zero", document_.string()});
  EXPECT_EQ(endless.exitCode, 1);
  EXPECT_EQ(endless.LastErrorLine(),
            "The first line of the password file /dev/zero is longer than 4096 bytes; a password "
            "is one short line");
  EXPECT_LT(endless.peakKilobytes, 200 * 1024);

  const auto empty = folder_ / "empty.txt";
  WriteFile(empty, "");
  EXPECT_EQ(RunTool({"serve", "--port", "0", "--password-file", empty.string(), document_.string()})
                .LastErrorLine(),
            "Cannot read the password file " + empty.string() + ": it is empty");
}

}  // namespace
}  // namespace tomelet::testing
