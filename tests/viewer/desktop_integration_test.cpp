#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "tests/support/TestDocument.h"
#include "viewer/DesktopIntegration.h"

namespace tomelet {
namespace {

namespace fs = std::filesystem;

std::string ExecLine(const std::string& entry) {
  const auto start = entry.find("\nExec=") + 1;
  return entry.substr(start, entry.find('\n', start) - start);
}

class DesktopIntegrationTest : public ::testing::Test {
 protected:
  // Records the helper programs asked for instead of running them.
  TToolRunner Recorder() {
    return [this](const std::string& program, const std::vector<std::string>& arguments) {
      calls_.push_back(program + " " + arguments.at(0));
      return true;
    };
  }

  testing::TScratchFolder folder_;
  fs::path dataHome_ = folder_ / "share";
  std::vector<std::string> calls_;
};

TEST_F(DesktopIntegrationTest, RegisteringWritesEntryTypeAndIconsThenRefreshes) {
  RegisterDesktopIntegration(dataHome_, "/opt/tomelet/bin/tomelet-viewer", Recorder());
  const std::string entry = testing::ReadFile(dataHome_ / "applications/tomelet-viewer.desktop");
  EXPECT_EQ(ExecLine(entry), "Exec=\"/opt/tomelet/bin/tomelet-viewer\" %f");
  EXPECT_NE(entry.find("MimeType=application/x-tomelet;"), std::string::npos);
  const std::string type = testing::ReadFile(dataHome_ / "mime/packages/tomelet.xml");
  EXPECT_NE(type.find("<glob pattern=\"*.tlt\" case-sensitive=\"true\"/>"), std::string::npos);
  EXPECT_TRUE(fs::is_regular_file(dataHome_ / "icons/hicolor/scalable/apps/tomelet-viewer.svg"));
  EXPECT_TRUE(fs::is_regular_file(dataHome_ /
                                  "icons/hicolor/scalable/mimetypes/application-x-tomelet.svg"));
  EXPECT_EQ(calls_, (std::vector<std::string>{
                        "update-mime-database " + (dataHome_ / "mime").string(),
                        "update-desktop-database " + (dataHome_ / "applications").string()}));
}

TEST_F(DesktopIntegrationTest, UnregisteringRemovesOnlyOurFilesAndIsRepeatable) {
  RegisterDesktopIntegration(dataHome_, "/usr/bin/tomelet-viewer", Recorder());
  const fs::path neighbour = dataHome_ / "applications/other.desktop";
  std::ofstream(neighbour) << "[Desktop Entry]\n";
  UnregisterDesktopIntegration(dataHome_, Recorder());
  EXPECT_FALSE(fs::exists(dataHome_ / "applications/tomelet-viewer.desktop"));
  EXPECT_FALSE(fs::exists(dataHome_ / "mime/packages/tomelet.xml"));
  EXPECT_FALSE(fs::exists(dataHome_ / "icons/hicolor/scalable/apps/tomelet-viewer.svg"));
  EXPECT_TRUE(fs::exists(neighbour));
  EXPECT_NO_THROW(UnregisterDesktopIntegration(dataHome_, Recorder()));
}

TEST_F(DesktopIntegrationTest, RegisteringTwiceLeavesOneCurrentEntry) {
  RegisterDesktopIntegration(dataHome_, "/old/tomelet-viewer", Recorder());
  RegisterDesktopIntegration(dataHome_, "/new/tomelet-viewer", Recorder());
  const std::string entry = testing::ReadFile(dataHome_ / "applications/tomelet-viewer.desktop");
  EXPECT_EQ(ExecLine(entry), "Exec=\"/new/tomelet-viewer\" %f");
  EXPECT_FALSE(fs::exists(dataHome_ / "applications/tomelet-viewer.desktop.partial"));
}

struct QuotingCase {
  std::string path;
  std::string exec;
};

class ExecQuotingTest : public ::testing::TestWithParam<QuotingCase> {};

TEST_P(ExecQuotingTest, PathStaysOneArgument) {
  EXPECT_EQ(ExecLine(DesktopEntryFor(GetParam().path)), GetParam().exec);
}

// Inside quotes ", `, $ and \ are escaped with a backslash, then every backslash is doubled for
// the string value, and a literal % is doubled as field codes require.
INSTANTIATE_TEST_SUITE_P(
    Paths, ExecQuotingTest,
    ::testing::Values(QuotingCase{"/home/ann/My Apps/tomelet-viewer",
                                  "Exec=\"/home/ann/My Apps/tomelet-viewer\" %f"},
                      QuotingCase{"/opt/100%/viewer", "Exec=\"/opt/100%%/viewer\" %f"},
                      QuotingCase{"/opt/$HOME/viewer", "Exec=\"/opt/\\\\$HOME/viewer\" %f"},
                      QuotingCase{"/opt/a\"b/viewer", "Exec=\"/opt/a\\\\\"b/viewer\" %f"},
                      QuotingCase{"/opt/a\\b/viewer", "Exec=\"/opt/a\\\\\\\\b/viewer\" %f"},
                      QuotingCase{"/opt/caf\xC3\xA9/viewer",
                                  "Exec=\"/opt/caf\xC3\xA9/viewer\" %f"}));

TEST(DesktopEntryText, PathsThatCannotBeWrittenAreRefused) {
  EXPECT_THROW(DesktopEntryFor("/opt/a\nb/viewer"), EDesktopIntegrationError);
  EXPECT_THROW(DesktopEntryFor("/opt/caf\xE9/viewer"), EDesktopIntegrationError);
}

TEST_F(DesktopIntegrationTest, ADataHomeThatCannotBeMadeFails) {
  fs::create_directories(dataHome_.parent_path());
  std::ofstream(dataHome_) << "a file where the folder should be";
  EXPECT_ANY_THROW(RegisterDesktopIntegration(dataHome_, "/usr/bin/tomelet-viewer", Recorder()));
}

TEST_F(DesktopIntegrationTest, RealDatabasesKnowTheTypeAndTheEntryValidates) {
  RegisterDesktopIntegration(dataHome_, "/usr/bin/tomelet-viewer", RunToolIfInstalled);
  if (!fs::exists(dataHome_ / "mime/globs2")) {
    GTEST_SKIP() << "update-mime-database is not installed";
  }
  // Only the lower-case extension is ours: the viewer opens no other spelling.
  EXPECT_NE(testing::ReadFile(dataHome_ / "mime/globs2").find("application/x-tomelet:*.tlt:cs"),
            std::string::npos);
  const std::string validate = "desktop-file-validate '" +
                               (dataHome_ / "applications/tomelet-viewer.desktop").string() + "'";
  if (std::system("command -v desktop-file-validate >/dev/null") == 0) {
    EXPECT_EQ(std::system(validate.c_str()), 0);
  }
}

// Sets an environment variable for one scope and puts the previous value back after.
class TScopedVariable {
 public:
  TScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      saved_ = old;
    }
    ::setenv(name, value, 1);
  }
  ~TScopedVariable() {
    if (saved_) {
      ::setenv(name_, saved_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

TEST(UserDataFolder, FollowsXdgDataHomeOnlyWhenAbsolute) {
  const TScopedVariable home("HOME", "/home/reader");
  {
    const TScopedVariable data("XDG_DATA_HOME", "/tmp/xdg-data");
    EXPECT_EQ(UserDataHome(), fs::path("/tmp/xdg-data"));
  }
  const TScopedVariable data("XDG_DATA_HOME", "relative/data");
  EXPECT_EQ(UserDataHome(), fs::path("/home/reader/.local/share"));
}

}  // namespace
}  // namespace tomelet
