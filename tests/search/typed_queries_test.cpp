// Queries as people type them into a search field: words an API name joins, a section's title,
// a module's bare name, words without their accents.
#include <gtest/gtest.h>

#include "tests/search/SearchFixtures.h"

namespace tomelet::search::testing {
namespace {

// Prose that uses the words typed more often than the pages people look for do.
TPages TypedPages() {
  return {
      {"glossary.html", Page("Glossary",
                             "<dl><dt id='term-named-tuple'>named tuple</dt><dd>A named tuple is a "
                             "tuple; every named tuple has named fields, as a named tuple should. "
                             "An LRU cache keeps the least recently used; a cache of LRU entries "
                             "is an LRU cache. A data class, a class of data, is a dataclass "
                             "used with a decorator.</dd></dl>")},
      {"library\\collections.html",
       Page("collections \u2014 Container datatypes",
            Definition("collections.namedtuple", "Returns a new tuple subclass.") +
                Definition("collections.OrderedDict", "A dict that remembers order."))},
      {"library\\functools.html",
       Page("functools \u2014 Higher-order functions",
            Definition("functools.lru_cache", "Wrap a function with a memoizing callable."))},
      {"library\\dataclasses.html",
       Page("dataclasses \u2014 Data Classes",
            "<h1 id='dataclasses'>dataclasses</h1><p>Generated methods for a dataclass, and "
            "the dataclass decorator and the dataclass decorator again.</p>" +
                Definition("dataclasses.dataclass", "This function is a decorator.") +
                Definition("dataclasses.field", "A decorator's field, of the dataclass."))},
      {"library\\re.html",
       Page("re \u2014 Regular expression operations",
            "<section id='module-re'><h1 id='re-ops'>re \u2014 Regular expression operations"
            "</h1><p>Patterns.</p></section>" +
                Definition("re.sub", "Return the string with every match replaced."))},
      {"whatsnew\\3.5.html",
       Page("What's New", "<h2 id='re'>re</h2><p>The re module: re, re and re again.</p>")},
      {"tutorial\\inputoutput.html",
       Page("Input and Output",
            "<h1 id='io'>Input and Output</h1><p>Printing.</p>"
            "<h2 id='reading-and-writing-files'>Reading and Writing Files"
            "</h2><p>open() returns a file object.</p>")},
      {"library\\wave.html",
       Page("wave \u2014 Read and write WAV files",
            "<h1 id='wave'>wave \u2014 Read and write WAV files</h1><p>Reading WAV files and "
            "writing WAV files: reading, writing, files, files.</p>")},
      {"cv.html", Page("CV",
                       "<h1 id='cv'>Writing a r\u00e9sum\u00e9</h1><p>A good "
                       "r\u00e9sum\u00e9 is short.</p>")},
      {"jobs.html", Page("Jobs", "<h1 id='jobs'>Jobs</h1><p>Resume the search for work.</p>")},
  };
}

class TypedQueriesTest : public TSharedIndexTest<TypedPages> {};

TEST_F(TypedQueriesTest, WordsANameJoinsFindTheName) {
  EXPECT_EQ(First("lru cache"), "library\\functools.html#functools.lru_cache");
  EXPECT_EQ(First("named tuple"), "library\\collections.html#collections.namedtuple");
  EXPECT_EQ(First("data class"), "library\\dataclasses.html#dataclasses.dataclass");
  EXPECT_EQ(First("ordered dict"), "library\\collections.html#collections.OrderedDict");
}

TEST_F(TypedQueriesTest, ADefinitionNamedByOneWordComesBeforePagesThatUseTheWords) {
  EXPECT_EQ(First("dataclass decorator"), "library\\dataclasses.html#dataclasses.dataclass");
}

TEST_F(TypedQueriesTest, ASectionTitledWithTheQueryComesFirst) {
  EXPECT_EQ(First("reading and writing files"),
            "tutorial\\inputoutput.html#reading-and-writing-files");
  EXPECT_EQ(First("Reading and writing files?"),
            "tutorial\\inputoutput.html#reading-and-writing-files");
}

TEST_F(TypedQueriesTest, AModulesBareNameOpensItsPageAtTheTop) {
  EXPECT_EQ(First("re"), "library\\re.html");
  EXPECT_EQ(First("re.sub"), "library\\re.html#re.sub");
}

TEST_F(TypedQueriesTest, AccentsNeedNotBeTypedAndTheFormTypedComesFirst) {
  EXPECT_EQ(First("resume"), "jobs.html#jobs");
  const auto plain = index_->Search("resume", 0, 5);
  EXPECT_EQ(plain.Total, 2u);
  EXPECT_EQ(First("r\u00e9sum\u00e9"), "cv.html#cv");
  EXPECT_EQ(index_->Search("r\u00e9sum\u00e9", 0, 5).Total, 2u);
}

// Typed without accents, the words folded from accented ones are looked up in their folded
// form; the others are not looked up again, and still match with them.
TEST_F(TypedQueriesTest, AQueryWithOneWordWrittenWithAccentsFindsTheSectionByEveryWord) {
  EXPECT_EQ(First("writing resume"), "cv.html#cv");
  EXPECT_EQ(First("short resume"), "cv.html#cv");
  const auto unaccented = index_->Search("short", 0, 5);
  ASSERT_EQ(unaccented.Hits.size(), 1u);
  EXPECT_EQ(unaccented.Hits[0].Path, "cv.html");
  EXPECT_TRUE(unaccented.TotalExact);
}

// A section that has a word both with and without its accents is found by either form as
// typed, and each form typed still finds the sections that hold it first.
TEST(FoldedFormsTest, ASectionWithBothFormsIsFoundByEitherAndTheFormTypedComesFirst) {
  TPages pages = {
      {"cv.html", Page("CV", "<h1 id='cv'>Writing</h1><p>A r\u00e9sum\u00e9.</p>")},
      {"jobs.html", Page("Jobs", "<h1 id='jobs'>Writing</h1><p>Resume the search.</p>")},
      {"both.html", Page("Both",
                         "<h1 id='both'>Spelling</h1><p>The r\u00e9sum\u00e9 (or "
                         "resume) and the work.</p>")},
  };
  // Words as rare as in a book: most pages have neither form.
  for (int i = 0; i < 12; ++i) {
    pages.emplace_back("notes" + std::to_string(i) + ".html",
                       Page("Notes", "<h1>Notes</h1><p>Other matters.</p>"));
  }
  const TIndexFile file(pages);
  const auto index = file.Open();
  for (const std::string typed : {"resume", "r\u00e9sum\u00e9"}) {
    const auto results = index->Search(typed, 0, 5);
    ASSERT_EQ(results.Hits.size(), 3u) << typed;
    const auto paths = Paths(results);
    EXPECT_EQ(paths[2], typed == "resume" ? "cv.html#cv" : "jobs.html#jobs") << typed;
  }
  EXPECT_EQ(Paths(index->Search("resume work", 0, 5)), std::vector<std::string>{"both.html#both"});
  EXPECT_EQ(Paths(index->Search("r\u00e9sum\u00e9 writing", 0, 5)),
            (std::vector<std::string>{"cv.html#cv", "jobs.html#jobs"}));
}

}  // namespace
}  // namespace tomelet::search::testing
