// The registration switches of the real tomelet-viewer: they end before any window is made,
// so no display is needed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class ViewerSwitchesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tomelet-switch-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dataHome_ = pattern;
  }
  void TearDown() override { fs::remove_all(dataHome_); }

  int Viewer(const std::string& argument) const {
    const std::string command = "env -u DISPLAY XDG_DATA_HOME='" + dataHome_.string() + "' '" +
                                TOMELET_VIEWER_PATH + "' " + argument + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path dataHome_;
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

}  // namespace
