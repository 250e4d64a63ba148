// What an index holds, in a few kilobytes a library keeps for every document, open or not: each
// term with a bound on the weight any section can get from it, and the names its ranking looks
// up. A search across many documents opens only the indexes whose bound can reach the hits shown.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Xapian {
class Database;
}

namespace tomelet::search {

namespace format {
struct TPageEntry;
}
class TDefinedNames;
class TQueryBound;

class TTermSummary {
 public:
  // The stored form (SummaryBytes) read back; none for bytes that are not one, in any way.
  static std::optional<TTermSummary> FromBytes(std::string_view bytes);
  std::string Bytes() const;

  const std::string& Language() const { return language_; }
  std::size_t TermCount() const { return terms_.size(); }

 private:
  friend class TQueryBound;
  friend TTermSummary SummarizeIndex(const Xapian::Database&, std::uint32_t, const std::string&,
                                     std::span<const format::TPageEntry>, const TDefinedNames*);

  // The weight of one step of the bounds below.
  double Step() const { return top_ / 255.0; }
  // Steps of the most term can give a section, 0 when the index has no such term.
  std::uint8_t Steps(std::uint32_t term) const;
  bool HasName(std::uint32_t key) const;

  std::string language_;
  double top_ = 0;
  // Without a table of names (indexes written before it), a query may name anything.
  bool namesKnown_ = true;
  // Terms by hash, ascending, each with its bound in steps (rounded up).
  std::vector<std::uint32_t> terms_;
  std::vector<std::uint8_t> steps_;
  // The keys under which the ranking finds sections by name (defined names, page titles,
  // headings), hashed, ascending.
  std::vector<std::uint32_t> names_;
};

// The summary of an index's database of format version and language: its terms, and the names of
// names (null for an index whose names are terms of their sections), its pages' titles and its
// headings. Reads every term and its counts once, not their postings. Throws what Xapian throws.
TTermSummary SummarizeIndex(const Xapian::Database& database, std::uint32_t version,
                            const std::string& language, std::span<const format::TPageEntry> pages,
                            const TDefinedNames* names);

// One query's bound in any index: the highest score a section can get for it (the ranking's
// sum of its terms' BM25 weights, its title words and plain forms), infinite when the index may
// find a section by a name the query gives (those rank above any words) or when the query holds
// what cannot be bounded. 0 when nothing of the index can match. Parses the query once for each
// language asked; one thread at a time.
class TQueryBound {
 public:
  explicit TQueryBound(std::string query);
  double In(const TTermSummary& summary);

 private:
  struct TTerm {
    std::uint32_t Hash;
    double Factor;
  };
  struct TTerms {
    std::vector<TTerm> Terms;
    bool Unbounded = false;
  };
  const TTerms& TermsIn(const std::string& language);

  std::string query_;
  std::vector<std::uint32_t> names_;
  std::map<std::string, TTerms> byLanguage_;
};

}  // namespace tomelet::search
