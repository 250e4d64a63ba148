// Queries parsed once for every index of one language: parsing (each word stemmed and looked up
// among the stop words) reads nothing of a database, and a library search would otherwise parse
// the same query again in each of its indexes. Safe to use from several threads at once.
#pragma once

#include <xapian.h>

#include <functional>
#include <mutex>
#include <string>
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

}  // namespace tomelet::search
