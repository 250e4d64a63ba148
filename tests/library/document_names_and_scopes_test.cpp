// Names of a library's documents and the scopes typed before a query: what addresses and
// searches are made of, checked without any document being opened.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "library/Library.h"
#include "library/LibrarySearch.h"

namespace tomelet::library {
namespace {

TFoundFile Found(const std::string& path, const std::string& relative) {
  return {path, relative, {}};
}

std::vector<std::string> Names(const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<TFoundFile> found;
  for (const auto& [path, relative] : files) {
    found.push_back(Found(path, relative));
  }
  return DocumentNames(found);
}

TEST(DocumentNames, AreReadableUrlSafeAndFollowTheFileName) {
  const auto names = Names({{"/d/Python 3.11.TLT", "Python 3.11.TLT"},
                            {"/d/en/Debian Handbook.tlt", "en/Debian Handbook.tlt"},
                            {"/d/Über…Straße.tlt", "Über…Straße.tlt"},
                            {"/d/.tlt", ".tlt"},
                            {"/d/--..-.tlt", "--..-.tlt"},
                            {"/d/viewer", "viewer"}});
  EXPECT_EQ(names[0], "python-3.11");
  EXPECT_EQ(names[1], "en-debian-handbook");
  EXPECT_EQ(names[5], "viewer");
  const std::regex urlSafe("[a-z0-9_][a-z0-9._-]*[a-z0-9_]|[a-z0-9_]");
  for (const auto& name : names) {
    EXPECT_TRUE(std::regex_match(name, urlSafe)) << name;
    EXPECT_NE(name, "-");
  }
}

TEST(DocumentNames, AreUniqueAndStayWithTheirFileWhateverComesBeside) {
  const auto alone = Names({{"/a/manual.tlt", "manual.tlt"}, {"/a/guide.tlt", "guide.tlt"}});
  const auto more = Names({{"/a/aaa.tlt", "aaa.tlt"},
                           {"/a/guide.tlt", "guide.tlt"},
                           {"/a/manual.tlt", "manual.tlt"},
                           {"/b/zzz.tlt", "zzz.tlt"}});
  EXPECT_EQ(alone[1], more[1]);
  EXPECT_EQ(alone[0], more[2]);

  // Same name from two folders given side by side, and two spellings of one name.
  const std::vector<std::pair<std::string, std::string>> clashing = {
      {"/x/manual.tlt", "manual.tlt"},
      {"/y/manual.tlt", "manual.tlt"},
      {"/y/Manual.TLT", "Manual.TLT"},
      {"/y/other.tlt", "other.tlt"}};
  const auto first = Names(clashing);
  EXPECT_EQ(std::set<std::string>(first.begin(), first.end()).size(), first.size());
  EXPECT_EQ(first[3], "other");
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(first[i].starts_with("manual-")) << first[i];
  }
  auto reordered = clashing;
  std::swap(reordered[0], reordered[2]);
  const auto second = Names(reordered);
  EXPECT_EQ(second[0], first[2]);
  EXPECT_EQ(second[2], first[0]);
}

// A file added beside one already served, under the same NAME, takes the suffix itself: the
// addresses and password lines of the one served keep working.
TEST(DocumentNames, AGivenNameStaysWithItsFileWhenANewcomerClaimsIt) {
  namespace fs = std::filesystem;
  const fs::path folder =
      fs::temp_directory_path() / ("tomelet-names-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  std::ofstream(folder / "priv.tlt").put('x');
  TLibrary library({folder});
  ASSERT_NE(library.Find("priv"), nullptr);

  std::ofstream(folder / "PRIV.tlt").put('y');
  std::ofstream(folder / "Other.tlt").put('z');
  EXPECT_TRUE(library.Reload());
  const auto kept = library.Find("priv");
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->Path(), folder / "priv.tlt");
  const auto documents = library.Documents();
  ASSERT_EQ(documents->size(), 3u);
  EXPECT_EQ((*documents)[0]->Name(), "other");
  EXPECT_EQ((*documents)[2]->Path(), folder / "PRIV.tlt");
  EXPECT_TRUE((*documents)[2]->Name().starts_with("priv-")) << (*documents)[2]->Name();

  // Both stay as they are once given, whatever goes.
  const std::string newcomer = (*documents)[2]->Name();
  fs::remove(folder / "Other.tlt");
  EXPECT_TRUE(library.Reload());
  EXPECT_EQ(library.Find("priv")->Path(), folder / "priv.tlt");
  EXPECT_EQ(library.Find(newcomer)->Path(), folder / "PRIV.tlt");
  fs::remove_all(folder);
}

TDocumentList Shelf(std::initializer_list<const char*> names) {
  TDocumentList documents;
  for (const char* name : names) {
    documents.push_back(std::make_shared<TLibraryDocument>(name, name, TFileIdentity{}));
  }
  return documents;
}

TEST(LibraryQuery, ReadsAScopeTypedBeforeTheWordsAndKeepsEverythingElseAsWords) {
  const auto shelf = Shelf({"pg-15", "pg-16", "python-3.11", "git"});
  using Names = std::vector<std::string>;

  auto query = ReadLibraryQuery("python: dict", {}, shelf);
  EXPECT_EQ(query.Text, "dict");
  EXPECT_EQ(query.Documents, Names{"python-3.11"});

  query = ReadLibraryQuery(" PG , Python :json  ", {}, shelf);
  EXPECT_EQ(query.Text, "json");
  EXPECT_EQ(query.Documents, (Names{"pg-15", "pg-16", "python-3.11"}));

  // A keyword that names no document: the colon is part of the words.
  query = ReadLibraryQuery("pg,rust: json", {}, shelf);
  EXPECT_EQ(query.Text, "pg,rust: json");
  EXPECT_TRUE(query.Documents.empty());
  query = ReadLibraryQuery("std::vector", {}, shelf);
  EXPECT_EQ(query.Text, "std::vector");
  EXPECT_TRUE(query.Documents.empty());

  // Documents named besides are searched along with the typed scope.
  query = ReadLibraryQuery("git: merge", {"pg-16"}, shelf);
  EXPECT_EQ(query.Text, "merge");
  EXPECT_EQ(query.Documents, (Names{"pg-16", "git"}));
}

}  // namespace
}  // namespace tomelet::library
