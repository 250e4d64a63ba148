// A stemmer that remembers the stems each thread made, per language: the words of a manual recur
// from page to page and from query to query, and stemming each anew is a good part of indexing
// and of making snippets. Kept by the thread rather than by each stemmer (an index has several
// readers, a build several shares) so that the room they take grows with the threads alone, and
// bounded so that endless distinct words cannot grow it.
#pragma once

#include <xapian.h>

#include <cstddef>
#include <string>

namespace tomelet::search {

class TRememberingStemmer : public Xapian::StemImplementation {
 public:
  // At most mostStems stems of the language are kept per thread; beyond them they start afresh.
  TRememberingStemmer(std::string language, Xapian::Stem stemmer, std::size_t mostStems);

  std::string operator()(const std::string& word) override;
  std::string get_description() const override { return stemmer_.get_description(); }

 private:
  const std::string language_;
  Xapian::Stem stemmer_;
  const std::size_t mostStems_;
};

}  // namespace tomelet::search
