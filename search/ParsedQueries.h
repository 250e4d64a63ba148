// Queries parsed once for every index of one language: parsing (each word stemmed and looked up
// among the stop words) reads nothing of a database, and a library search would otherwise parse
// the same query again in each of its indexes. Safe to use from several threads at once.
#pragma once

#include <xapian.h>

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tomelet::search {

class TParsedQueries {
 public:
  // The process's one table.
  static TParsedQueries& Shared();

  // The query parsed under key (what the parse depends on: language, operator, prefix and
  // text), parsing it only when not kept. Each caller gets a query of its own, since Xapian's
  // handles count references without atomics. Throws what parse throws.
  Xapian::Query Find(const std::string& key, const std::function<Xapian::Query()>& parse);

 private:
  std::mutex lock_;
  // Serialised; emptied when full, which a server's varied queries reach in turn.
  std::unordered_map<std::string, std::string> kept_;
};

// What a query is parsed with: an index's language, and the stemmer and stop words it makes.
struct TQueryParsing {
  const std::string& Language;
  const Xapian::Stem& Stemmer;
  const Xapian::Stopper* Stopper;
};

// The query as an index of that language reads it, words joined by defaultOp; parsed once for
// every index of the language (TParsedQueries::Shared). A query that cannot be read with
// operators is read as plain words.
Xapian::Query ParseQuery(const TQueryParsing& parsing, std::string_view query,
                         Xapian::Query::op defaultOp);

// The query's words with accents folded, each matched in either form a section holds it in:
// folded (format::kFoldedPrefix), which a section has only where it lacks the word as written,
// or as written, in sections without accents or typed so.
Xapian::Query ParsePlainForms(const TQueryParsing& parsing, std::string_view query,
                              Xapian::Query::op defaultOp);

}  // namespace tomelet::search
