// The terms of a page's sections as the index holds them: one Xapian document a section, counted
// on whichever thread reads the page, so that the thread adding documents in order only adds.
#pragma once

#include <xapian.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "search/HtmlText.h"
#include "search/IndexFormat.h"

namespace tomelet::search {

struct TTermedPage {
  TPageText Text;
  std::string Title;
  // The terms of each section of Text, in order (only the first of a generated index): none for
  // a section with nothing to find it by.
  std::vector<std::optional<format::TCountedTerms>> Sections;
  // The stems the sections hold folded terms of (format::kFoldedApartKey).
  std::set<std::string> FoldedApart;
};

// One a thread: its term generators are not shared.
class TSectionTerms {
 public:
  explicit TSectionTerms(const std::string& language);

  TTermedPage Terms(TPageText page, const std::string& archivePath);

 private:
  struct TPageTitle {
    std::string Text;
    Xapian::Document Terms;  // its words, weighted as in every section
  };
  std::optional<Xapian::Document> SectionDocument(const TPageTitle& title,
                                                  const TPageSection& section, bool generated,
                                                  bool first);
  void AddFoldedTerms(Xapian::Document& document, const TPageTitle& title,
                      const TPageSection& section, std::set<std::string>& foldedApart);

  Xapian::Stem stemmer_;
  Xapian::TermGenerator generator_;
  // The query side never puts the stem marker on n-grams of CJK text, so text holding any is
  // indexed a second time without it.
  Xapian::TermGenerator cjkGenerator_;
};

}  // namespace tomelet::search
