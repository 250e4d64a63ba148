#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "tests/OurNSHandler/HandlerFixture.h"

namespace tomelet {
namespace {

namespace fs = std::filesystem;
using testing_support::HandlerTest;
using testing_support::Text;

std::string FileContents(const fs::path& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class TemporaryFiles : public HandlerTest {
 protected:
  RequestResult NeedFile(std::string_view url) { return Drive(url, true); }
};

TEST_F(TemporaryFiles, NeededFileGoesIntoAPrivateFolderUnderTheTemporaryFolder) {
  RequestResult result = NeedFile("tome://inpack/docs/manual.pdf");
  ASSERT_EQ(result.Outcome, RequestOutcome::Served);
  EXPECT_EQ(Text(result), "%PDF docs manual");
  fs::path folder = module->PrivateFolder();
  EXPECT_EQ(folder.parent_path(), fs::absolute(testFolder));
  EXPECT_TRUE(folder.filename().native().starts_with("tomelet-"));
  struct stat info {};
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(result.CacheFileName, (folder / "docs" / "manual.pdf").native());
  EXPECT_EQ(FileContents(result.CacheFileName), "%PDF docs manual");
}

TEST_F(TemporaryFiles, SecondRequestReusesTheFileAndListsItTwice) {
  RequestResult first = NeedFile("tome://inpack/docs/manual.pdf");
  RequestResult second = NeedFile("tome://inpack/docs/manual.pdf");
  ASSERT_EQ(second.Outcome, RequestOutcome::Served);
  EXPECT_EQ(second.CacheFileName, first.CacheFileName);
  std::vector<std::string> expected{first.CacheFileName, first.CacheFileName};
  EXPECT_EQ(module->TempFileList(), expected);
}

TEST_F(TemporaryFiles, SameNamesInDifferentFoldersGetTheirOwnFiles) {
  RequestResult docs = NeedFile("tome://inpack/docs/manual.pdf");
  RequestResult other = NeedFile("tome://inpack/other/manual.pdf");
  EXPECT_NE(docs.CacheFileName, other.CacheFileName);
  EXPECT_EQ(FileContents(docs.CacheFileName), "%PDF docs manual");
  EXPECT_EQ(FileContents(other.CacheFileName), "%PDF other manual");
}

TEST_F(TemporaryFiles, FilesOfOtherProgramsAreNeitherReusedNorDeleted) {
  fs::path foreign = testFolder / "manual.pdf";
  std::ofstream(foreign) << "not ours";
  RequestResult result = NeedFile("tome://inpack/docs/manual.pdf");
  EXPECT_NE(result.CacheFileName, foreign.native());
  EXPECT_EQ(FileContents(result.CacheFileName), "%PDF docs manual");
  EndModule();
  EXPECT_EQ(FileContents(foreign), "not ours");
}

class RefusedNames : public TemporaryFiles, public testing::WithParamInterface<const char*> {};

TEST_P(RefusedNames, CannotLeaveThePrivateFolder) {
  RequestResult result = NeedFile(GetParam());
  EXPECT_EQ(result.Outcome, RequestOutcome::Failed);
  EXPECT_EQ(result.Result, E_FAIL);
  EXPECT_EQ(result.Reports.ReportedResult, E_FAIL);
  EXPECT_TRUE(module->TempFileList().empty());
  EXPECT_FALSE(fs::exists(testFolder / "escape.txt"));
  EXPECT_FALSE(fs::exists(testFolder.parent_path() / "escape2.txt"));
  EXPECT_EQ(Drive(GetParam()).Outcome, RequestOutcome::Served);
}

INSTANTIATE_TEST_SUITE_P(Urls, RefusedNames,
                         testing::Values("tome://inpack/../escape.txt",
                                         "tome://inpack/..%5Cescape.txt",
                                         "tome://inpack/deep/../../escape2.txt"));

TEST_F(TemporaryFiles, LegacyNamesAreWrittenInUtf8) {
  RequestResult result = NeedFile("tome://inpack/caf%E9.htm");
  ASSERT_EQ(result.Outcome, RequestOutcome::Served);
  EXPECT_EQ(fs::path(result.CacheFileName).filename().native(), "caf\xC3\xA9.htm");
  EXPECT_EQ(FileContents(result.CacheFileName), "legacy name");
}

TEST_F(TemporaryFiles, ModuleEndRemovesTheFilesAndTheirFolder) {
  RequestResult docs = NeedFile("tome://inpack/docs/manual.pdf");
  NeedFile("tome://inpack/docs/manual.pdf");
  RequestResult sub = NeedFile("tome://inpack/sub/page.htm");
  fs::path folder = module->PrivateFolder();
  ASSERT_TRUE(fs::exists(sub.CacheFileName));
  EndModule();
  EXPECT_FALSE(fs::exists(docs.CacheFileName));
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(fs::exists(documentFile));
}

TEST_F(TemporaryFiles, WriteFailureFailsTheRequestAndReportsIt) {
  ASSERT_EQ(NeedFile("tome://inpack/clash").Outcome, RequestOutcome::Served);
  RequestResult result = NeedFile("tome://inpack/clash/inner.htm");
  EXPECT_EQ(result.Outcome, RequestOutcome::Failed);
  EXPECT_EQ(result.Reports.ReportedResult, E_FAIL);
  EXPECT_TRUE(result.CacheFileName.empty());
  EXPECT_EQ(module->TempFileList().size(), 1u);
  EXPECT_EQ(Text(Drive("tome://inpack/clash/inner.htm")), "inner");
}

class TemporaryFolderChoice : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"TMP", "TEMP", "TMPDIR"}) {
      const char* value = getenv(name);
      saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (auto& [name, value] : saved) {
      if (value) {
        setenv(name, value->c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
  }
  std::vector<std::pair<const char*, std::optional<std::string>>> saved;
};

TEST_F(TemporaryFolderChoice, TakesTheFirstVariableNamingAnExistingDirectory) {
  setenv("TMP", "/no/such/folder", 1);
  setenv("TEMP", "/usr", 1);
  setenv("TMPDIR", "/var", 1);
  EXPECT_EQ(TemporaryFolder(), "/usr/");
  unsetenv("TEMP");
  EXPECT_EQ(TemporaryFolder(), "/var/");
  setenv("TMP", "/", 1);
  EXPECT_EQ(TemporaryFolder(), "/");
}

TEST_F(TemporaryFolderChoice, FallsBackToTmpAndExpandsRelativeFolders) {
  EXPECT_EQ(TemporaryFolder(), "/tmp/");
  setenv("TMPDIR", ".", 1);
  EXPECT_EQ(TemporaryFolder(), (fs::current_path() / "").native());
}

}  // namespace
}  // namespace tomelet
