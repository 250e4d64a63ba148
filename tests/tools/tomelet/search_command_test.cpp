// search and index: results as lines and as JSON, documents with and without an index, adding
// an index to an executable document, a damaged index that does not stop the search, and several
// documents searched as one library.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>

#include "document/Document.h"
#include "document/DocumentAddress.h"
#include "search/DocumentIndex.h"
#include "tests/support/TestDocument.h"
#include "tool_process.h"

namespace tomelet::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string Page(const std::string& title, const std::string& body) {
  return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
}

class SearchCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1);
    WriteFile(source_ / "index.html", Page("Start", "<h1>Welcome</h1><p>Start here.</p>"));
    WriteFile(source_ / "files.html",
              Page("Files", "<h1 id='reading'>Reading files</h1><p>Open a file.</p>"));
    WriteFile(source_ / "Übersicht.html", Page("Übersicht", "<p>Größe und Maße der Straße.</p>"));
    for (int i = 0; i < 25; ++i) {
      WriteFile(
          source_ / "notes" / ("n" + std::to_string(i) + ".html"),
          Page("Note " + std::to_string(i), "<p>gadget number " + std::to_string(i) + "</p>"));
    }
    WriteFile(folder_ / "options.json", R"({"StartPage": "index.html"})");
  }

  fs::path Pack(const std::string& name, std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"pack",      source_.string(),
                                  "-o",        (folder_ / name).string(),
                                  "--options", (folder_ / "options.json").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto packed = RunTool(args);
    EXPECT_EQ(packed.exitCode, 0) << packed.err;
    return folder_ / name;
  }

  json SearchJson(const fs::path& document, const std::string& query,
                  const std::string& limit = "10") {
    const auto result = RunTool({"search", document.string(), query, "--json", "--limit", limit});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return json::parse(result.out);
  }

  TScratchFolder folder_;
  fs::path source_ = folder_ / "src";
};

TEST_F(SearchCommand, ResultsComeAsLinesOrAsOneJsonObject) {
  const auto document = Pack("doc.tlt");
  const auto lines = RunTool({"search", document.string(), "reading"});
  EXPECT_EQ(lines.exitCode, 0) << lines.err;
  EXPECT_EQ(lines.out, "1\tfiles.html#reading\tFiles\n");

  const auto found = SearchJson(document, "reading");
  EXPECT_EQ(found["version"], 2);
  EXPECT_EQ(found["query"], "reading");
  EXPECT_EQ(found["total"], 1);
  ASSERT_EQ(found["results"].size(), 1u);
  const auto& hit = found["results"][0];
  EXPECT_EQ(hit["path"], "files.html");
  EXPECT_EQ(hit["anchor"], "reading");
  EXPECT_EQ(hit["title"], "Files");
  EXPECT_EQ(hit["snippet"], "<b>Reading</b> files Open a file.");
  EXPECT_GT(hit["score"].get<double>(), 0);

  // The words from the first one that is neither a document nor a folder are the query, even
  // where a file of that name lies in the way.
  WriteFile(folder_ / "open", "not a document");
  const auto words =
      RunTool({"search", document.string(), (folder_ / "open").string(), "a", "file", "--json"});
  ASSERT_EQ(words.exitCode, 0) << words.err;
  EXPECT_EQ(json::parse(words.out)["query"], (folder_ / "open").string() + " a file");
  const auto unquoted = RunTool({"search", document.string(), "open", "a", "file"});
  EXPECT_EQ(unquoted.exitCode, 0) << unquoted.err;
  EXPECT_EQ(unquoted.out, "1\tfiles.html#reading\tFiles\n");
  EXPECT_FALSE(fs::exists(folder_ / "cache")) << "the document's own index is used in place";
}

TEST_F(SearchCommand, LimitsEmptyResultsStopWordsAndNonAsciiQueries) {
  const auto document = Pack("doc.tlt");
  auto found = SearchJson(document, "gadget", "4");
  EXPECT_EQ(found["total"], 25);
  EXPECT_EQ(found["results"].size(), 4u);
  found = SearchJson(document, "nothingmatchesthis");
  EXPECT_EQ(found["total"], 0);
  EXPECT_TRUE(found["results"].empty());
  found = SearchJson(document, "the and of");
  EXPECT_TRUE(found["results"].empty());
  found = SearchJson(document, "GRÖßE");
  ASSERT_EQ(found["results"].size(), 1u) << found.dump();
  EXPECT_EQ(found["results"][0]["path"], "Übersicht.html");
  EXPECT_EQ(SearchJson(document, "straße")["results"].size(), 1u);
}

// What a person reads: "/" between folders, names that cannot move the cursor, and a word on
// standard error when nothing matches, which is an answer and not a failure.
TEST_F(SearchCommand, LinesShowSlashesAndSafeNamesAndNoMatchIsSaidWithoutFailing) {
  WriteFile(source_ / "odd\x1b]0;name.html", Page("Odd", "<p>zebra</p>"));
  const auto document = Pack("doc.tlt");
  auto found = RunTool({"search", document.string(), "gadget 7"});
  EXPECT_EQ(found.out, "1\tnotes/n7.html\tNote 7\n");
  EXPECT_EQ(found.err, "");
  found = RunTool({"search", document.string(), "zebra"});
  EXPECT_EQ(found.out, "1\todd\\x1b]0;name.html\tOdd\n");

  for (const bool json : {false, true}) {
    std::vector<std::string> args{"search", document.string(), "nothing\x1bmatches"};
    if (json) {
      args.push_back("--json");
    }
    const auto none = RunTool(args);
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.err, "no pages match \"nothing\\x1bmatches\"\n");
    EXPECT_EQ(none.out.empty(), !json);
  }
}

TEST_F(SearchCommand, ALimitThatIsNotAPositiveNumberIsAUsageError) {
  const auto document = Pack("doc.tlt");
  for (const char* limit : {"-1", "0", "ten", "1.5", "99999999999"}) {
    const auto refused = RunTool({"search", document.string(), "gadget", "--limit", limit});
    EXPECT_EQ(refused.exitCode, 2) << limit;
    EXPECT_NE(refused.err.find("--limit"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out, "");
  }
  EXPECT_EQ(SearchJson(document, "gadget", "1")["results"].size(), 1u);
}

TEST_F(SearchCommand, ADocumentWithoutAnIndexIsIndexedIntoTheCacheAndSearchesAlike) {
  const auto with = Pack("with.tlt");
  const auto without = Pack("without.tlt", {"--no-index"});
  EXPECT_EQ(RunTool({"list", without.string()}).out.find("-index-"), std::string::npos);
  EXPECT_EQ(SearchJson(without, "gadget 7")["results"], SearchJson(with, "gadget 7")["results"]);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "cache" / "tomelet"),
                          fs::directory_iterator()),
            1);
}

// The viewer names the start page by where it navigates, so the cache file is the one it uses.
TEST_F(SearchCommand, AStartPageWrittenOnWindowsNamesTheCacheFileAsTheViewerDoes) {
  WriteFile(folder_ / "options.json", R"({"StartPage": "C:\\site\\index.html"})");
  const auto without = Pack("without.tlt", {"--no-index"});
  EXPECT_EQ(SearchJson(without, "gadget 7")["results"].size(), 1u);
  const auto archive = OpenDocument(without);
  EXPECT_TRUE(
      fs::exists(search::CachedIndexPath(*archive, StartPageArchivePath("C:\\site\\index.html"))));
}

// pack and index read the stemmer's language from the same page, escapes in its name decoded.
TEST_F(SearchCommand, PackAndIndexTakeTheLanguageFromTheSameStartPage) {
  WriteFile(source_ / "guide" / "intro one.htm",
            "<html lang=\"de\"><head><title>Einleitung</title></head><body>Häuser</body></html>");
  WriteFile(folder_ / "options.json", R"({"StartPage": "guide/intro%20one.htm"})");
  const auto packed = Pack("packed.tlt");
  const auto indexed = Pack("indexed.tlt", {"--no-index"});
  ASSERT_EQ(RunTool({"index", indexed.string()}).exitCode, 0);
  const auto packedIndex = search::OpenEmbeddedIndex(OpenDocument(packed));
  const auto laterIndex = search::OpenEmbeddedIndex(OpenDocument(indexed));
  ASSERT_TRUE(packedIndex && laterIndex);
  EXPECT_EQ(laterIndex->Language(), "de");
  EXPECT_EQ(packedIndex->Language(), laterIndex->Language());
}

TEST_F(SearchCommand, IndexAddsTheIndexInPlaceAndAnExecutableDocumentStaysExecutable) {
  const auto document = Pack("Manual", {"--no-index", "--stub", TOMELET_BINARY});
  const auto before = ReadFile(document);
  const auto indexed = RunTool({"index", document.string()});
  ASSERT_EQ(indexed.exitCode, 0) << indexed.err;
  struct stat status {};
  ASSERT_EQ(::stat(document.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0755u);
  const auto after = ReadFile(document);
  EXPECT_EQ(after.substr(0, fs::file_size(TOMELET_BINARY)),
            before.substr(0, fs::file_size(TOMELET_BINARY)));
  EXPECT_EQ(RunTool({"verify", document.string()}).exitCode, 0);
  EXPECT_EQ(SearchJson(document, "reading")["results"][0]["anchor"], "reading");
  EXPECT_FALSE(fs::exists(folder_ / "cache"));

  ASSERT_EQ(RunTool({"index", document.string()}).exitCode, 0);
  EXPECT_EQ(ReadFile(document), after) << "replacing the index gives the same bytes again";
  const auto extracted = RunTool({"extract", document.string(), "-C", (folder_ / "out").string()});
  ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
  EXPECT_FALSE(fs::exists(folder_ / "out" / "-index-"));
  EXPECT_TRUE(fs::exists(folder_ / "out" / "files.html"));
}

TEST_F(SearchCommand, ADamagedIndexIsReportedAndTheSearchStillAnswers) {
  const auto document = Pack("doc.tlt");
  const auto listing = json::parse(RunTool({"list", "--json", document.string()}).out);
  std::int64_t offset = -1;
  for (const auto& entry : listing["entries"]) {
    if (entry["path"] == "-index-") {
      offset = listing["archive_start"].get<std::int64_t>() + entry["offset"].get<std::int64_t>();
    }
  }
  ASSERT_GE(offset, 0);
  std::string bytes = ReadFile(document);
  bytes[static_cast<std::size_t>(offset) + 200] ^= 0x55;
  WriteFile(document, bytes);

  const auto searched = RunTool({"search", document.string(), "reading"});
  EXPECT_EQ(searched.exitCode, 0) << searched.err;
  EXPECT_NE(searched.err.find("The search index is damaged"), std::string::npos);
  EXPECT_EQ(searched.out, "1\tfiles.html#reading\tFiles\n");
  const auto verified = RunTool({"verify", document.string()});
  EXPECT_EQ(verified.exitCode, 1);
  EXPECT_EQ(verified.LastErrorLine(), "The archive appears to be corrupted");
}

TEST_F(SearchCommand, SeveralDocumentsOrAFolderAreSearchedAsOneLibrary) {
  fs::create_directories(folder_ / "shelf" / "more");
  fs::rename(Pack("a.tlt"), folder_ / "shelf" / "Guide.tlt");
  fs::rename(Pack("b.tlt", {"--no-index"}), folder_ / "shelf" / "more" / "notes.tlt");

  const auto flat = RunTool({"search", (folder_ / "shelf").string(), "gadget", "--limit", "3"});
  EXPECT_EQ(flat.exitCode, 0) << flat.err;
  EXPECT_EQ(flat.out.find("more-notes"), std::string::npos) << "a subfolder without --recursive";
  EXPECT_NE(flat.out.find("1\tguide\tnotes/"), std::string::npos) << flat.out;

  const auto all = RunTool(
      {"search", (folder_ / "shelf").string(), "gadget", "--recursive", "--json", "--limit", "50"});
  ASSERT_EQ(all.exitCode, 0) << all.err;
  const json results = json::parse(all.out)["results"];
  EXPECT_EQ(results.size(), 50u);
  std::set<std::string> docs;
  for (const auto& hit : results) {
    docs.insert(hit["doc"].get<std::string>());
  }
  EXPECT_EQ(docs, (std::set<std::string>{"guide", "more-notes"}));

  const auto scoped = RunTool({"search", (folder_ / "shelf" / "Guide.tlt").string(),
                               (folder_ / "shelf" / "more" / "notes.tlt").string(),
                               "notes: reading files", "--json"});
  ASSERT_EQ(scoped.exitCode, 0) << scoped.err;
  const json hits = json::parse(scoped.out)["results"];
  ASSERT_FALSE(hits.empty());
  for (const auto& hit : hits) {
    EXPECT_EQ(hit["doc"], "notes");
  }
}

}  // namespace
}  // namespace tomelet::testing
