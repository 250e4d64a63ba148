// The parsed queries kept, serialised, for the indexes that parse the same text next.
#include "search/ParsedQueries.h"

#include <span>

#include "platform/text/Accents.h"
#include "search/IndexFormat.h"

namespace tomelet::search {
namespace {

// A query gives a few keys a language (all its words or any, the form typed and the one without
// accents): a few hundred queries, about a megabyte.
constexpr std::size_t kMostKept = 4096;

// Each term under every prefix of prefixes, joined by OP_OR; without any, under none.
Xapian::Query ParseAnew(const TQueryParsing& parsing, std::string_view query,
                        Xapian::Query::op defaultOp, std::span<const std::string_view> prefixes) {
  Xapian::QueryParser parser;
  parser.set_stemmer(parsing.Stemmer);
  parser.set_stemming_strategy(Xapian::QueryParser::STEM_ALL_Z);
  if (parsing.Stopper) {
    parser.set_stopper(parsing.Stopper);
  }
  parser.set_default_op(defaultOp);
  for (const std::string_view prefix : prefixes) {
    parser.add_prefix("", std::string(prefix));
  }
  const std::string text(query);
  try {
    return parser.parse_query(
        text, Xapian::QueryParser::FLAG_BOOLEAN | Xapian::QueryParser::FLAG_LOVEHATE |
                  Xapian::QueryParser::FLAG_PHRASE | Xapian::QueryParser::FLAG_CJK_NGRAM);
  } catch (const Xapian::QueryParserError&) {
    return parser.parse_query(text, Xapian::QueryParser::FLAG_CJK_NGRAM);
  }
}

Xapian::Query ParseKept(const TQueryParsing& parsing, std::string_view query,
                        Xapian::Query::op defaultOp, std::span<const std::string_view> prefixes) {
  std::string key = parsing.Language;
  key += {'\0', parsing.Stemmer.is_none() ? '0' : '1', parsing.Stopper ? '1' : '0',
          static_cast<char>(defaultOp)};
  for (const std::string_view prefix : prefixes) {
    key.append(prefix).push_back('\0');
  }
  key.push_back('\0');
  key.append(query);
  return TParsedQueries::Shared().Find(
      key, [&] { return ParseAnew(parsing, query, defaultOp, prefixes); });
}

}  // namespace

Xapian::Query ParseQuery(const TQueryParsing& parsing, std::string_view query,
                         Xapian::Query::op defaultOp) {
  return ParseKept(parsing, query, defaultOp, {});
}

Xapian::Query ParsePlainForms(const TQueryParsing& parsing, std::string_view query,
                              Xapian::Query::op defaultOp) {
  const std::string_view prefixes[] = {format::kFoldedPrefix, {}};
  return ParseKept(parsing, FoldAccents(query), defaultOp, prefixes);
}

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
