// A document packed onto the viewer itself opens its own pages when started, whatever the
// command line names.
#include "tests/viewer/gui/viewer_process.h"

namespace tomelet::gui {
namespace {

class ExecutableDocumentTest : public ViewerTest {
 protected:
  // Packs the bundled sample onto a copy of the built viewer.
  std::string PackSample() {
    const std::string executable = (folder_ / "Welcome").string();
    const std::string sample = std::string(TOMELET_SOURCE_DIR) + "/examples/sample";
    const std::string command = std::string("'") + TOMELET_PATH + "' pack --stub '" +
                                TOMELET_VIEWER_PATH + "' --options '" + sample +
                                "/options.json' --logo '" + sample + "/logo.ico' '" + sample +
                                "' -o '" + executable + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return executable;
  }

  void StartExecutable(const std::string& executable, const std::vector<std::string>& arguments) {
    pid_ = ::fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      std::vector<char*> argv{const_cast<char*>(executable.c_str())};
      for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
};

TEST_F(ExecutableDocumentTest, OpensItsOwnStartPage) {
  StartExecutable(PackSample(), {});
  EXPECT_FALSE(WaitForWindow("Welcome to Tomelet", 15s).empty());
}

TEST_F(ExecutableDocumentTest, IgnoresADocumentNamedOnTheCommandLine) {
  const std::string other = Document(
      "other.tlt", OpenOptions(),
      {{"index.htm", "<html><head><title>Other Document</title></head><body>x</body></html>"}});
  StartExecutable(PackSample(), {other});
  EXPECT_FALSE(WaitForWindow("Welcome to Tomelet", 15s).empty());
  EXPECT_TRUE(WaitForWindow("Other Document", 500ms).empty());
}

}  // namespace
}  // namespace tomelet::gui
