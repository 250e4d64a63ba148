#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "tests/search/SearchFixtures.h"

namespace tomelet::search {
namespace {

namespace fs = std::filesystem;

// Sets the three temporary-folder variables for one test and puts the old values back.
class TemporaryVariables {
 public:
  TemporaryVariables() {
    for (const char* name : {"TMP", "TEMP", "TMPDIR"}) {
      const char* value = std::getenv(name);
      saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
      ::unsetenv(name);
    }
  }
  ~TemporaryVariables() {
    for (const auto& [name, value] : saved_) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
  }
  void Set(const char* name, const fs::path& value) { ::setenv(name, value.c_str(), 1); }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

bool HoldsScratchFolder(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with("tomelet-index-"))
      return true;
  }
  return false;
}

// The builder's scratch folder follows the program's one rule: TMP first, and a variable that
// names no folder is passed over rather than failing the build.
TEST(IndexScratchFolderTest, FollowsTmpBeforeTmpdirAndPassesOverAMissingFolder) {
  const testing::TScratchFolder root;
  fs::create_directories(root / "chosen");
  TemporaryVariables variables;
  variables.Set("TMP", root / "chosen");
  variables.Set("TMPDIR", root / "missing");

  {
    TIndexBuilder builder({"", 1});
    EXPECT_TRUE(HoldsScratchFolder(root / "chosen"));
    builder.AddPage("a.html", "<title>A</title><p>widgets</p>");
    EXPECT_FALSE(builder.Finish().empty());
  }
  EXPECT_FALSE(HoldsScratchFolder(root / "chosen"));

  variables.Set("TMP", root / "missing");
  variables.Set("TEMP", root / "chosen");
  EXPECT_FALSE(testing::BuildIndex(testing::ManualPages()).empty());
}

}  // namespace
}  // namespace tomelet::search
