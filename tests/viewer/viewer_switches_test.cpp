// The registration and information switches of the real tomelet-viewer: they end before any
// window is made, so no display is needed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/TestDocument.h"

namespace {

namespace fs = std::filesystem;

class ViewerSwitchesTest : public ::testing::Test {
 protected:
  int Viewer(const std::string& argument) const {
    const std::string command = "env -u DISPLAY XDG_DATA_HOME='" + dataHome_.string() + "' '" +
                                TOMELET_VIEWER_PATH + "' " + argument + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  tomelet::testing::TScratchFolder folder_;
  const fs::path& dataHome_ = folder_.Path();
};

TEST_F(ViewerSwitchesTest, RegServerInstallsAndUnRegServerRemovesInAnyCase) {
  const fs::path entry = dataHome_ / "applications/tomelet-viewer.desktop";
  EXPECT_EQ(Viewer("/regserver"), 0);
  EXPECT_TRUE(fs::exists(entry));
  EXPECT_EQ(Viewer("-UnRegServer"), 0);
  EXPECT_FALSE(fs::exists(entry));
  EXPECT_EQ(Viewer("-REGSERVER"), 0);
  EXPECT_TRUE(fs::exists(dataHome_ / "mime/packages/tomelet.xml"));
}

TEST_F(ViewerSwitchesTest, FailureIsReportedWithExitCodeOne) {
  const fs::path blocked = dataHome_ / "blocked";
  { std::ofstream(blocked) << "not a folder"; }
  const std::string command =
      "XDG_DATA_HOME='" + blocked.string() + "' '" + TOMELET_VIEWER_PATH + "' /regserver 2>&1";
  std::FILE* viewer = ::popen(command.c_str(), "r");
  ASSERT_NE(viewer, nullptr);
  char text[512] = {};
  const std::size_t got = std::fread(text, 1, sizeof text - 1, viewer);
  const int status = ::pclose(viewer);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(std::string(text, got).find("tomelet-viewer: "), std::string::npos);
}

struct Answer {
  int exitCode = -1;
  std::string output;
  std::string errors;
};

// Runs the viewer without a display, keeping what it writes to each stream apart.
Answer ViewerAnswer(const std::string& arguments, const fs::path& errorFile) {
  const std::string command = "env -u DISPLAY '" + std::string(TOMELET_VIEWER_PATH) + "' " +
                              arguments + " 2>'" + errorFile.string() + "'";
  Answer answer;
  std::FILE* viewer = ::popen(command.c_str(), "r");
  if (!viewer)
    return answer;
  char buffer[4096];
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, viewer))
    answer.output.append(buffer, got);
  const int status = ::pclose(viewer);
  answer.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream errors(errorFile);
  answer.errors.assign(std::istreambuf_iterator<char>(errors), {});
  return answer;
}

TEST_F(ViewerSwitchesTest, HelpAndVersionAnswerOnStandardOutputAndExitZero) {
  const Answer help = ViewerAnswer("--help", dataHome_ / "errors");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.output.starts_with("Usage: tomelet-viewer [DOCUMENT.tlt | SOURCE]\n"))
      << help.output;
  EXPECT_NE(help.output.find("/regserver"), std::string::npos);
  EXPECT_EQ(help.errors, "");

  const Answer version = ViewerAnswer("--version", dataHome_ / "errors");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_TRUE(version.output.starts_with("tomelet-viewer ")) << version.output;
  EXPECT_EQ(version.output.find('\n'), version.output.size() - 1);
  EXPECT_EQ(version.errors, "");

  EXPECT_EQ(ViewerAnswer("--help > /dev/full", dataHome_ / "errors").exitCode, 1)
      << "a usage that could not be written is no success";
}

}  // namespace
