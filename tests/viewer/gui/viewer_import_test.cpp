// A CHM given to the viewer is imported into the reader's cache with a progress dialog and
// opened at its default topic; the second time it opens at once from the cache.
#include <signal.h>

#include "viewer_process.h"

namespace tomelet::gui {
namespace {

using ViewerImportTest = ViewerTest;

// A help file of two pages compiled by chmcmd; empty when chmcmd is not installed.
std::string CompiledHelp(const std::filesystem::path& folder) {
  if (std::system("command -v chmcmd >/dev/null 2>&1") != 0)
    return {};
  const auto project = folder / "help";
  testing::WriteFile(project / "Start.htm",
                     "<html><head><title>Help Start</title></head><body>"
                     "<a href='sub/page.htm'>Next</a></body></html>");
  testing::WriteFile(project / "sub" / "page.htm",
                     "<html><head><title>Help Page</title></head><body>Page</body></html>");
  testing::WriteFile(project / "help.hhp",
                     "[OPTIONS]\nCompiled file=help.chm\nDefault topic=Start.htm\nTitle=Help\n\n"
                     "[FILES]\nStart.htm\nsub/page.htm\n");
  const std::string compile = "cd " + project.string() + " && chmcmd help.hhp >/dev/null 2>&1";
  return std::system(compile.c_str()) == 0 ? (project / "help.chm").string() : std::string();
}

TEST_F(ViewerImportTest, ACompiledHelpFileOpensAndTheSecondTimeAtOnce) {
  const std::string help = CompiledHelp(folder_.Path());
  if (help.empty())
    GTEST_SKIP() << "chmcmd (fp-utils) is not installed";
  environment_["XDG_CACHE_HOME"] = (folder_ / "cache").string();
  Start({help});
  EXPECT_TRUE(WaitForTrace("import: " + help)) << Trace();
  const auto window = WaitForWindow("Help Start", 20s);
  ASSERT_FALSE(window.empty()) << Trace();
  EXPECT_TRUE(WaitForTrace("navigate: tome://inpack/Start.htm")) << Trace();
  ::kill(pid_, SIGTERM);
  WaitForExit();

  std::filesystem::remove(trace_);
  Start({help});
  ASSERT_FALSE(WaitForWindow("Help Start").empty()) << Trace();
  EXPECT_EQ(Trace().find("import:"), std::string::npos) << "imported again";
}

}  // namespace
}  // namespace tomelet::gui
