// The parsed queries kept, serialised, for the indexes that parse the same text next.
#include "search/ParsedQueries.h"

namespace tomelet::search {
namespace {

// A query gives a few keys a language (all its words or any, the form typed and the one without
// accents): a few hundred queries, about a megabyte.
constexpr std::size_t kMostKept = 4096;

}  // namespace

TParsedQueries& TParsedQueries::Shared() {
  static TParsedQueries shared;
  return shared;
}

Xapian::Query TParsedQueries::Find(const std::string& key,
                                   const std::function<Xapian::Query()>& parse) {
  std::string serialised;
  {
    const std::lock_guard guard(lock_);
    if (const auto found = kept_.find(key); found != kept_.end()) {
      serialised = found->second;
    }
  }
  if (!serialised.empty()) {
    // A registry costs more to make than the query: one a thread, since its handles count
    // references without atomics.
    thread_local const Xapian::Registry registry;
    return Xapian::Query::unserialise(serialised, registry);
  }
  Xapian::Query parsed = parse();
  serialised = parsed.serialise();
  const std::lock_guard guard(lock_);
  if (kept_.size() >= kMostKept) {
    kept_.clear();
  }
  kept_.emplace(key, std::move(serialised));
  return parsed;
}

}  // namespace tomelet::search
