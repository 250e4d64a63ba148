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
  EXPECT_EQ(fs::path(result.CacheFileName).parent_path().parent_path(), folder);
  EXPECT_EQ(fs::path(result.CacheFileName).filename(), "manual.pdf");
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

// Names that no folder on disk could hold still give a file of the entry's own name, inside the
// private folder and nowhere else.
struct AwkwardName {
  const char* url;
  const char* fileName;
  const char* contents;
};

void PrintTo(const AwkwardName& name, std::ostream* out) {
  *out << name.url;
}

class AwkwardNames : public TemporaryFiles, public ::testing::WithParamInterface<AwkwardName> {};

TEST_P(AwkwardNames, GetTheirFileInsideThePrivateFolder) {
  RequestResult result = NeedFile(GetParam().url);
  ASSERT_EQ(result.Outcome, RequestOutcome::Served);
  const fs::path file = result.CacheFileName;
  EXPECT_EQ(file.parent_path().parent_path(), module->PrivateFolder());
  EXPECT_EQ(file.filename(), GetParam().fileName);
  EXPECT_EQ(FileContents(file), GetParam().contents);
  EXPECT_FALSE(fs::exists(testFolder / "escape.txt"));
  EXPECT_FALSE(fs::exists(testFolder.parent_path() / "escape2.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Urls, AwkwardNames,
    ::testing::Values(AwkwardName{"tome://inpack/../escape.txt", "escape.txt", "outside"},
                      AwkwardName{"tome://inpack/..%5Cescape.txt", "escape.txt", "outside"},
                      AwkwardName{"tome://inpack/deep/../../escape2.txt", "escape2.txt",
                                  "outside too"},
                      AwkwardName{"tome://inpack/%5Cleading.htm", "leading.htm", "leading"},
                      AwkwardName{"tome://inpack/%5C%5Cdouble.htm", "double.htm", "double"},
                      AwkwardName{"tome://inpack/dots/..", "entry..", "dotted"}));

TEST_F(TemporaryFiles, AFileAndAFolderOfTheSameNameBothGetTheirFiles) {
  RequestResult file = NeedFile("tome://inpack/clash");
  RequestResult inner = NeedFile("tome://inpack/clash/inner.htm");
  ASSERT_EQ(file.Outcome, RequestOutcome::Served);
  ASSERT_EQ(inner.Outcome, RequestOutcome::Served);
  EXPECT_EQ(FileContents(file.CacheFileName), "a file where a folder is wanted");
  EXPECT_EQ(FileContents(inner.CacheFileName), "inner");
  EXPECT_EQ(module->TempFileList().size(), 2u);
}

TEST_F(TemporaryFiles, ALongLegacyNameIsShortenedToAFileNameKeepingItsExtension) {
  std::string url = "tome://inpack/";
  for (int i = 0; i < 250; ++i)
    url += "%E9";
  RequestResult result = NeedFile(url + ".pdf");
  ASSERT_EQ(result.Outcome, RequestOutcome::Served) << result.Result;
  const auto name = fs::path(result.CacheFileName).filename().native();
  EXPECT_LE(name.size(), 255u);
  EXPECT_TRUE(name.ends_with(".pdf"));
  EXPECT_EQ(FileContents(result.CacheFileName), "long");
}

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

class TemporaryFolderChoice : public ::testing::Test {
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
