// API names as a programmer types them: queries that name a definition land on its anchor, and
// suggestions follow every word typed, the definitions' names among them.
#include <gtest/gtest.h>

#include <tuple>

#include "search/DefinedNames.h"
#include "tests/search/SearchFixtures.h"

namespace tomelet::search::testing {
namespace {

// A small library reference: modules whose names share endings, prose that uses the same words
// more often than the definitions do, and titles that only share a word's start.
TPages ReferencePages() {
  TPages pages = {
      {"library\\asyncio-task.html",
       Page("Coroutines and Tasks",
            "<h1 id='tasks'>Coroutines and Tasks</h1><p>Tasks run coroutines.</p>" +
                Definition("asyncio.gather", "Run awaitables concurrently.") +
                Definition("asyncio.run", "Execute the coroutine and return the result."))},
      {"library\\cgi.html", Page("cgi: Common Gateway Interface support",
                                 "<h1 id='cgi'>cgi</h1><p>Gateway scripts.</p>")},
      {"library\\subprocess.html",
       Page("subprocess: Subprocess management",
            "<h1 id='subprocess'>subprocess</h1><p>Run a subprocess and run it again; every "
            "subprocess run is a process.</p><h2 id='using'>Using the subprocess module</h2>"
            "<p>The recommended way to run a subprocess is run, for every subprocess run.</p>" +
                Definition("subprocess.run", "Run the command described by args.") +
                Definition("subprocess.Popen", "Execute a child program."))},
      {"library\\os.path.html",
       Page("os.path: Common pathname manipulations",
            "<p>Join paths, join them again.</p>" +
                Definition("os.path.join", "Join one or more path segments.") +
                Definition("os.path.split", "Split the pathname."))},
      {"library\\stdtypes.html",
       Page("Built-in Types", Definition("str.join", "Return a string joined from many.") +
                                  Definition("dict.get", "Return the value for key.") +
                                  Definition("term-random", "A glossary entry."))},
      {"library\\random.html",
       Page("Random numbers", "<p>Random numbers.</p>" +
                                  Definition("random", "The module itself.") +
                                  Definition("random.choice", "Return a random element."))},
      {"library\\functools.html",
       Page("functools: Higher-order functions",
            Definition("functools.lru_cache", "Wrap a function with a memoizing callable."))},
      {"howto\\files.html", Page("Opening files", "<p>How to open files.</p>")},
      {"library\\shutil.html",
       Page("shutil: High-level file operations",
            Definition("shutil.rmtree", "Delete an entire directory tree.") +
                Definition("collections.Counter", "Count hashable objects."))},
      {"library\\test.html",
       Page("test: Regression tests",
            Definition("test.support.os_helper.rmtree", "Call shutil.rmtree, as rmtree does."))},
      {"library\\pickle.html",
       Page("pickle \u2014 Python object serialization",
            "<p>The pickle module pickles objects; a pickle is bytes.</p>")},
      {"library\\copyreg.html", Page("copyreg: Register pickle support functions",
                                     Definition("copyreg.pickle", "Declare a pickle function.") +
                                         Definition("ast.Lambda", "A node of the tree."))},
      {"reference\\expressions.html",
       Page("Expressions", "<h2 id='lambda'>Lambdas</h2><p>A lambda expression.</p>")},
      {"howto\\tasks.html", Page("Tasks \u2014 a guide for everyone", "<p>Plans.</p>")},
      {"howto\\short.html", Page("Tasks in short", "<p>Plans.</p>")},
  };
  std::string body;
  for (int i = 0; i < 9; ++i) {
    body += Definition("runner" + std::to_string(i) + ".get", "Get a value.");
  }
  pages.emplace_back("library\\runners.html", Page("Runners", body));
  return pages;
}

class DefinedNamesTest : public TSharedIndexTest<ReferencePages> {
 protected:
  static std::vector<std::string> Suggested(std::string_view typed) {
    std::vector<std::string> shown;
    for (const auto& suggestion : index_->Suggest(typed, 10)) {
      shown.push_back(suggestion.Title +
                      (suggestion.Anchor.empty() ? "" : " #" + suggestion.Anchor));
    }
    return shown;
  }
};

TEST_F(DefinedNamesTest, AQueryNamingADefinitionWholeOrByItsEndLandsOnItsAnchor) {
  // The prose says "subprocess run" far more often than the definition does.
  for (const char* query :
       {"subprocess run", "subprocess.run", "Subprocess Run()", "SUBPROCESS.RUN"})
    EXPECT_EQ(First(query), "library\\subprocess.html#subprocess.run") << query;
  EXPECT_EQ(First("asyncio gather"), "library\\asyncio-task.html#asyncio.gather");
  EXPECT_EQ(First("gather"), "library\\asyncio-task.html#asyncio.gather");
  EXPECT_EQ(First("path join"), "library\\os.path.html#os.path.join");
  EXPECT_EQ(First("lru_cache"), "library\\functools.html#functools.lru_cache");
  EXPECT_EQ(First("dict get"), "library\\stdtypes.html#dict.get");
  // Letter case need not be typed.
  EXPECT_EQ(First("subprocess popen"), "library\\subprocess.html#subprocess.Popen");
  EXPECT_EQ(First("collections counter"), "library\\shutil.html#collections.Counter");
  // Of the names ending so, the shortest comes first, though the words favour the other.
  EXPECT_EQ(First("rmtree"), "library\\shutil.html#shutil.rmtree");
}

TEST_F(DefinedNamesTest, AWordThatIsAPageTitleOrOnlyAClassInAnotherCaseNamesNoDefinition) {
  EXPECT_EQ(index_->Search("pickle", 0, 1).Hits.at(0).Path, "library\\pickle.html");
  EXPECT_EQ(First("copyreg pickle"), "library\\copyreg.html#copyreg.pickle");
  EXPECT_EQ(index_->Search("lambda", 0, 1).Hits.at(0).Path, "reference\\expressions.html");
  EXPECT_EQ(First("Lambda"), "library\\copyreg.html#ast.Lambda");
  EXPECT_EQ(First("ast lambda"), "library\\copyreg.html#ast.Lambda");
}

TEST_F(DefinedNamesTest, WordsThatNameNothingInParticularAreRankedAsWords) {
  // Nine definitions end in ".get": none is lifted over the words.
  const auto results = index_->Search("get", 0, 10);
  ASSERT_FALSE(results.Hits.empty());
  EXPECT_EQ(results.Hits[0].Path, "library\\runners.html");
  // A sentence is not a name, though "open" might be one.
  EXPECT_EQ(First("how to open files"), "howto\\files.html");
  EXPECT_EQ(DottedName("open a file?"), "");
  EXPECT_EQ(DottedName("  json  dumps() "), "json.dumps");
  EXPECT_EQ(DottedName("term-random"), "term-random");
  EXPECT_EQ(DottedName("a b c d e"), "");
  for (const char* name : {"term-random", "index-3", "f(x)", "3d", ".x", "x.", "a..b", ""})
    EXPECT_FALSE(IsProgramName(name)) << name;
  for (const char* name : {"os.path.join", "_private", "Name2", "lru_cache"})
    EXPECT_TRUE(IsProgramName(name)) << name;
}

TEST_F(DefinedNamesTest, SuggestionsFollowEveryWordTypedInOrder) {
  EXPECT_EQ(Suggested("asyncio gat"), std::vector<std::string>{"asyncio.gather #asyncio.gather"});
  EXPECT_EQ(Suggested("ASYNCIO.GAT"), Suggested("asyncio gat"));
  // One word still finds every title with a word starting so, the names among them.
  const auto gat = Suggested("gat");
  EXPECT_EQ(gat, (std::vector<std::string>{"cgi: Common Gateway Interface support",
                                           "asyncio.gather #asyncio.gather"}));
  EXPECT_EQ(Suggested("gather asyncio"), std::vector<std::string>{}) << "the order counts";
  EXPECT_EQ(Suggested("lru_c"),
            std::vector<std::string>{"functools.lru_cache #functools.lru_cache"});
  // Words a title leaves out may be typed, but only small ones.
  EXPECT_EQ(Suggested("how to open"), std::vector<std::string>{"Opening files"});
  EXPECT_EQ(Suggested("quickly open"), std::vector<std::string>{});
  EXPECT_TRUE(Suggested(" .- ").empty());
}

// Titles, anchors and pages are kept side by side for every candidate: each suggestion must
// still lead to its own page with its letters as written.
TEST_F(DefinedNamesTest, SuggestionsKeepTheirOwnLettersAnchorsAndPages) {
  const auto popen = index_->Suggest("SUBPROCESS POP", 10);
  ASSERT_EQ(popen.size(), 1u);
  EXPECT_EQ(std::tie(popen[0].Path, popen[0].Title, popen[0].Anchor),
            std::make_tuple("library\\subprocess.html", "subprocess.Popen", "subprocess.Popen"));
  const auto management = index_->Suggest("subprocess man", 10);
  ASSERT_EQ(management.size(), 1u);
  EXPECT_EQ(std::tie(management[0].Path, management[0].Title, management[0].Anchor),
            std::make_tuple("library\\subprocess.html", "subprocess: Subprocess management", ""));
  const auto gather = index_->Suggest("asyncio.gat", 10);
  ASSERT_EQ(gather.size(), 1u);
  EXPECT_EQ(gather[0].Path, "library\\asyncio-task.html");
}

TEST_F(DefinedNamesTest, AnExactTitleComesFirstThenTitlesBeginningWithTheWordsTyped) {
  const auto random = Suggested("random");
  ASSERT_EQ(random.size(), 3u);
  EXPECT_EQ(random[0], "random #random");
  EXPECT_EQ(random[1], "Random numbers") << "pages before names that begin the same";
  EXPECT_EQ(random[2], "random.choice #random.choice");
  // A title's own part, before the name of its manual or subject, is the whole title too.
  EXPECT_EQ(Suggested("tasks"),
            (std::vector<std::string>{"Tasks \u2014 a guide for everyone", "Tasks in short",
                                      "Coroutines and Tasks"}));
  // Ids that are no names a programmer types ("term-random") are never suggested.
  const auto subprocess = Suggested("subprocess");
  ASSERT_GE(subprocess.size(), 3u);
  EXPECT_EQ(subprocess[0], "subprocess: Subprocess management");
}

// The table read in place, as an index opens it, finds what the table built from a map finds,
// among many ids sharing their ends and their letters in other cases; and it refuses a section
// the database does not have.
TEST(DefinedNames, TheStoredTableFindsWhatTheMapFinds) {
  format::TDefinitions definitions;
  for (int i = 0; i < 300; ++i) {
    definitions["mod" + std::to_string(i) + ".Run"] = {static_cast<Xapian::docid>(i + 1)};
    definitions["pkg.mod" + std::to_string(i) + ".helper"] = {static_cast<Xapian::docid>(i + 1),
                                                              400};
  }
  definitions["pkg.mod7.Helper"] = {401};
  definitions["mod7.run"] = {402};
  const TDefinedNames built(definitions);
  const TDefinedNames stored(format::EncodeDefinitions(definitions), 402);
  for (const char* query : {"mod7.run", "MOD7.RUN", "mod7 helper", "Run", "run", "Helper",
                            "mod12.Run", "pkg mod299 helper", "absent", "lru cache"}) {
    const auto a = built.Named(query);
    const auto b = stored.Named(query);
    ASSERT_EQ(a.Definitions.size(), b.Definitions.size()) << query;
    EXPECT_EQ(a.Whole, b.Whole) << query;
    for (std::size_t i = 0; i < a.Definitions.size(); ++i) {
      EXPECT_EQ(a.Definitions[i].Id, b.Definitions[i].Id) << query;
      EXPECT_EQ(a.Definitions[i].Sections, b.Definitions[i].Sections) << query;
    }
  }
  EXPECT_EQ(stored.Named("mod7 helper").Definitions.front().Id, "pkg.mod7.helper");
  EXPECT_THROW(TDefinedNames(format::EncodeDefinitions(definitions), 401), ESearchIndexError);
}

}  // namespace
}  // namespace tomelet::search::testing
