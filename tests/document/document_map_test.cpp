// The document's map: the keyword lookup's matches and order, the "-map-" entry read back as
// written and refused when damaged or newer, and the contents as JSON.
#include <gtest/gtest.h>

#include "document/DocumentMap.h"

namespace tomelet {
namespace {

std::vector<std::string> Terms(const std::vector<TKeyword>& found) {
  std::vector<std::string> terms;
  for (const TKeyword& keyword : found)
    terms.push_back(keyword.Term);
  return terms;
}

TKeywordIndex ApiKeywords() {
  std::vector<TKeyword> keywords;
  for (const char* term :
       {"json.dumps", "json", "pickle.dumps", "JSONDecoder", "json.dump", "Dumping data",
        "asyncio.gather", "cgi", "Json in depth", "os.path.join", "json.dumps"}) {
    keywords.push_back({term, "p.html", "", "Page", TKeywordKind::Definition});
  }
  keywords.push_back({"json", "other.html", "intro", "Other", TKeywordKind::Heading});
  return TKeywordIndex(std::move(keywords));
}

TEST(KeywordLookup, ExactThenPrefixThenWordMatchesShorterFirst) {
  const TKeywordIndex index = ApiKeywords();
  // The duplicate of the same term on the same page counts once.
  EXPECT_EQ(index.Size(), 11u);
  const auto json = index.Lookup("JSON", 20);
  EXPECT_EQ(Terms(json), (std::vector<std::string>{"json", "json", "json.dump", "json.dumps",
                                                   "JSONDecoder", "Json in depth"}));
  // Equal terms: the one on the page it names first, then any other.
  EXPECT_EQ(json[0].Kind, TKeywordKind::Definition);
  EXPECT_EQ(json[1].Page, "other.html");
  EXPECT_EQ(json[1].Anchor, "intro");
  EXPECT_EQ(json[1].PageTitle, "Other");
  // A term that begins with the query comes before a word match, however long.
  EXPECT_EQ(Terms(index.Lookup("dump", 20)),
            (std::vector<std::string>{"Dumping data", "json.dump", "json.dumps", "pickle.dumps"}));
  EXPECT_EQ(Terms(index.Lookup("dumps", 1)), (std::vector<std::string>{"json.dumps"}));
  EXPECT_EQ(Terms(index.Lookup("  path.jo ", 5)), (std::vector<std::string>{"os.path.join"}));
}

TEST(KeywordLookup, SeveralWordsMatchWordStartsInOrder) {
  const TKeywordIndex index = ApiKeywords();
  EXPECT_EQ(Terms(index.Lookup("json dumps", 5)), (std::vector<std::string>{"json.dumps"}));
  EXPECT_EQ(Terms(index.Lookup("asyncio gat", 5)), (std::vector<std::string>{"asyncio.gather"}));
  EXPECT_EQ(Terms(index.Lookup("json in", 5)), (std::vector<std::string>{"Json in depth"}));
  EXPECT_TRUE(index.Lookup("dumps json", 5).empty());
  EXPECT_TRUE(index.Lookup("son", 5).empty());
  EXPECT_TRUE(index.Lookup("", 5).empty());
  EXPECT_TRUE(index.Lookup("   ", 5).empty());
  EXPECT_TRUE(TKeywordIndex().Lookup("json", 5).empty());
}

TEST(KeywordLookup, TheNameItselfFirstAndAccentsNeedNotBeTyped) {
  const TKeywordIndex index({
      {"re", "whatsnew/3.5.html", "re", "What's New", TKeywordKind::Heading},
      {"re \u2014 Regular expression operations", "library/re.html", "", "re",
       TKeywordKind::PageTitle},
      {"readline \u2014 GNU readline", "library/readline.html", "", "readline",
       TKeywordKind::PageTitle},
      {"R\u00e9sum\u00e9s", "cv.html", "", "CV", TKeywordKind::Heading},
      {"Resume", "jobs.html", "", "Jobs", TKeywordKind::Heading},
  });
  // The module's own page before a section that only shares its name.
  EXPECT_EQ(Terms(index.Lookup("re", 2)),
            (std::vector<std::string>{"re \u2014 Regular expression operations", "re"}));
  // The form typed first, the other one after it.
  EXPECT_EQ(Terms(index.Lookup("resum", 5)),
            (std::vector<std::string>{"Resume", "R\u00e9sum\u00e9s"}));
  EXPECT_EQ(Terms(index.Lookup("r\u00e9sum", 5)),
            (std::vector<std::string>{"R\u00e9sum\u00e9s", "Resume"}));
}

TDocumentMap SampleMap() {
  TDocumentMap map;
  map.Contents = {{"Guide",
                   "guide/index.html",
                   "",
                   {{"Files", "guide/files.html", "reading", {}},
                    {"Group\twith tab", "", "", {{"Deep", "d.html", "", {}}}}}},
                  {"Café", "caf\xC3\xA9.html", "", {}}};
  map.Keywords = TKeywordIndex(
      {{"re.sub", "library/re.html", "re.sub", "re", TKeywordKind::Definition},
       {"Reading files", "guide/files.html", "reading", "Files", TKeywordKind::Heading},
       {"Files", "guide/files.html", "", "Files", TKeywordKind::PageTitle}});
  return map;
}

TEST(MapEntry, ReadsBackWhatWasWritten) {
  const TDocumentMap map = SampleMap();
  const TDocumentMap read = ReadMapEntry(WriteMapEntry(map));
  TContents expected = map.Contents;
  // Fields cannot hold the entry's separators.
  expected[0].Children[1].Title = "Group with tab";
  EXPECT_EQ(read.Contents, expected);
  EXPECT_EQ(read.Keywords.All(), map.Keywords.All());
  EXPECT_EQ(ContentsSize(read.Contents), 5u);
  EXPECT_EQ(ContentsDepth(read.Contents), 3u);
  EXPECT_EQ(ContentsDepth({}), 0u);
  EXPECT_EQ(ReadMapEntry(WriteMapEntry(TDocumentMap{})).Keywords.Size(), 0u);
}

// Types come from a source's own index; a map without them keeps the first version, which
// older builds read.
TEST(MapEntry, TypedKeywordsReadBackAndUntypedMapsKeepTheFirstVersion) {
  EXPECT_TRUE(WriteMapEntry(SampleMap()).starts_with("tomelet-map 1\n"));
  TDocumentMap typed = SampleMap();
  typed.Keywords = TKeywordIndex(
      {{"g_array_new", "glib-Arrays.html", "g-array-new", "Arrays", TKeywordKind::Definition,
        "function"},
       {"GArray", "glib-Arrays.html", "GArray", "Arrays", TKeywordKind::Definition, ""}});
  const std::string bytes = WriteMapEntry(typed);
  EXPECT_TRUE(bytes.starts_with("tomelet-map 2\n"));
  EXPECT_EQ(ReadMapEntry(bytes).Keywords.All(), typed.Keywords.All());
  EXPECT_NE(
      KeywordsToJson("g_array", typed.Keywords.Lookup("g_array", 1)).find(R"("type":"function")"),
      std::string::npos);
}

TEST(MapEntry, DamagedOrNewerEntriesAreRefusedWithTheirOwnText) {
  const std::string bytes = WriteMapEntry(SampleMap());
  const auto refusal = [](const std::string& damaged) {
    try {
      ReadMapEntry(damaged);
    } catch (const EDocumentMapError& e) {
      return std::string(e.what());
    }
    return std::string("read");
  };
  const std::string damaged(kDamagedMapMessage);
  EXPECT_EQ(refusal(bytes.substr(0, bytes.size() / 2)), damaged);
  EXPECT_EQ(refusal(bytes + "extra\n"), damaged);
  EXPECT_EQ(refusal(""), damaged);
  EXPECT_EQ(refusal("<html>not a map</html>\n"), damaged);
  std::string badDepth = bytes;
  badDepth.replace(badDepth.find("\n0\t") + 1, 1, "7");
  EXPECT_EQ(refusal(badDepth), damaged);
  std::string badPage = bytes;
  badPage.replace(badPage.rfind("\n2\t") + 3, 1, "9");
  EXPECT_EQ(refusal(badPage), damaged);
  std::string newer = bytes;
  newer.replace(newer.find(' ') + 1, 1, "3");
  EXPECT_EQ(refusal(newer), std::string(kNewerMapMessage));
}

TEST(ContentsJson, ReadsWhatItWritesAndRefusesOtherShapes) {
  const TContents contents = SampleMap().Contents;
  EXPECT_EQ(ContentsFromJson(ContentsToJson(contents)), contents);
  const TContents given = ContentsFromJson(
      R"([{"title": "A", "path": "/sub\\a.html#x", "children": [{"title": "B"}]}])");
  ASSERT_EQ(given.size(), 1u);
  EXPECT_EQ(given[0].Page, "sub/a.html");
  EXPECT_EQ(given[0].Anchor, "x");
  EXPECT_EQ(given[0].Children[0].Page, "");
  for (const char* wrong : {"{}", "[{\"path\": \"a.html\"}]", "[{\"title\": 3}]",
                            "[{\"title\": \"A\", \"children\": {}}]", "[{\"title\": \"A\"",
                            "[{\"title\": \"A\", \"path\": 5}]"}) {
    try {
      ContentsFromJson(wrong);
      ADD_FAILURE() << wrong;
    } catch (const EDocumentMapError& e) {
      EXPECT_TRUE(std::string(e.what()).starts_with("The contents file is not valid: ")) << wrong;
    }
  }
}

}  // namespace
}  // namespace tomelet
