#include "search/TermSummary.h"

#include <xapian.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

#include "document/DocumentMap.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Fnv1a.h"
#include "search/DefinedNames.h"
#include "search/IndexFormat.h"
#include "search/ParsedQueries.h"
#include "search/RankingWeights.h"
#include "search/SectionWeight.h"

namespace tomelet::search {
namespace {

constexpr std::string_view kMagic = "TLTTERMS1";
constexpr std::size_t kLongestLanguage = 64;
constexpr std::uint8_t kMostSteps = 255;
// Scores summed in another order than the ranking sums them differ in their last bits.
constexpr double kRoundingMargin = 1e-6;

// The names are looked up under these, each before its key.
constexpr char kDefinedTag = 'N';
constexpr char kTitleTag = 'T';
constexpr char kHeadingTag = 'H';

std::uint32_t Hash(std::string_view text) {
  const std::uint64_t hash = Fnv1a(text);
  return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

std::uint32_t NameHash(char tag, std::string_view key) {
  std::string tagged(1, tag);
  return Hash(tagged.append(key));
}

// The most a term can give a section under BM25 as the ranking weighs (k1 = 1, b = 0.5, k3 = 1, a
// section's length over the average never taken below 0.5): its idf times the most its count
// in a section can weigh, that count at most its count in all of them.
double TermBound(double termFrequency, double collectionFrequency, double sections,
                 std::uint32_t version) {
  return TermIdf(termFrequency, sections) * format::MostCountWeight(version, collectionFrequency);
}

std::string_view LastPart(std::string_view id) {
  const auto dot = id.rfind('.');
  return dot == std::string_view::npos ? id : id.substr(dot + 1);
}

std::string DefinedKey(std::string_view name) {
  return std::string(LastPart(FoldAscii(name)));
}

std::string Folded(std::string_view text) {
  return Xapian::Unicode::tolower(std::string(text));
}

// Counts every term of query; false when it holds a part no sum of its terms' weights bounds.
bool CountTerms(const Xapian::Query& query, std::map<std::string, int>& counts) {
  switch (query.get_type()) {
    case Xapian::Query::LEAF_TERM: {
      const auto term = query.get_terms_begin();
      if (term == query.get_terms_end()) {
        return false;
      }
      ++counts[*term];
      return true;
    }
    case Xapian::Query::LEAF_MATCH_NOTHING:
      return true;
    case Xapian::Query::OP_AND:
    case Xapian::Query::OP_OR:
    case Xapian::Query::OP_AND_NOT:
    case Xapian::Query::OP_XOR:
    case Xapian::Query::OP_AND_MAYBE:
    case Xapian::Query::OP_FILTER:
    case Xapian::Query::OP_NEAR:
    case Xapian::Query::OP_PHRASE:
    case Xapian::Query::OP_ELITE_SET:
    case Xapian::Query::OP_MAX:
      for (std::size_t i = 0; i < query.get_num_subqueries(); ++i) {
        if (!CountTerms(query.get_subquery(i), counts)) {
          return false;
        }
      }
      return true;
    default:
      return false;
  }
}

// Bytes are read whole or not at all.
class TReader {
 public:
  explicit TReader(std::string_view bytes) : bytes_(bytes) {}
  bool Read(void* into, std::size_t size) {
    if (bytes_.size() < size) {
      return false;
    }
    std::memcpy(into, bytes_.data(), size);
    bytes_.remove_prefix(size);
    return true;
  }
  template <typename T>
  bool ReadArray(std::vector<T>& into, std::uint32_t count) {
    if (bytes_.size() / sizeof(T) < count) {
      return false;
    }
    into.resize(count);
    return Read(into.data(), count * sizeof(T));
  }
  bool AtEnd() const { return bytes_.empty(); }

 private:
  std::string_view bytes_;
};

template <typename T>
void Append(std::string& out, const T& value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
void AppendArray(std::string& out, const std::vector<T>& values) {
  Append(out, static_cast<std::uint32_t>(values.size()));
  out.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}

bool Ascending(const std::vector<std::uint32_t>& hashes) {
  return std::adjacent_find(hashes.begin(), hashes.end(), std::greater_equal<>()) == hashes.end();
}

}  // namespace

std::uint8_t TTermSummary::Steps(std::uint32_t term) const {
  const auto found = std::lower_bound(terms_.begin(), terms_.end(), term);
  return found != terms_.end() && *found == term ? steps_[found - terms_.begin()] : 0;
}

bool TTermSummary::HasName(std::uint32_t key) const {
  return std::binary_search(names_.begin(), names_.end(), key);
}

std::string TTermSummary::Bytes() const {
  std::string out(kMagic);
  Append(out, static_cast<std::uint8_t>(namesKnown_));
  Append(out, top_);
  Append(out, static_cast<std::uint32_t>(language_.size()));
  out += language_;
  AppendArray(out, terms_);
  out.append(reinterpret_cast<const char*>(steps_.data()), steps_.size());
  AppendArray(out, names_);
  return out;
}

std::optional<TTermSummary> TTermSummary::FromBytes(std::string_view bytes) {
  if (!bytes.starts_with(kMagic)) {
    return std::nullopt;
  }
  TReader reader(bytes.substr(kMagic.size()));
  TTermSummary summary;
  std::uint8_t namesKnown = 0;
  std::uint32_t size = 0;
  if (!reader.Read(&namesKnown, 1) || namesKnown > 1 ||
      !reader.Read(&summary.top_, sizeof(double)) || !std::isfinite(summary.top_) ||
      summary.top_ < 0 || !reader.Read(&size, sizeof size) || size > kLongestLanguage) {
    return std::nullopt;
  }
  summary.namesKnown_ = namesKnown == 1;
  summary.language_.resize(size);
  if (!reader.Read(summary.language_.data(), size) || !reader.Read(&size, sizeof size) ||
      !reader.ReadArray(summary.terms_, size) || !reader.ReadArray(summary.steps_, size) ||
      !reader.Read(&size, sizeof size) || !reader.ReadArray(summary.names_, size) ||
      !reader.AtEnd() || !Ascending(summary.terms_) || !Ascending(summary.names_)) {
    return std::nullopt;
  }
  return summary;
}

TTermSummary SummarizeIndex(const Xapian::Database& database, std::uint32_t version,
                            const std::string& language, std::span<const format::TPageEntry> pages,
                            const TDefinedNames* names) {
  TTermSummary summary;
  summary.language_ = language.substr(0, kLongestLanguage);
  const double sections = database.get_doccount();
  std::vector<std::pair<std::uint32_t, double>> bounds;
  for (auto term = database.allterms_begin(); term != database.allterms_end(); ++term) {
    bounds.emplace_back(
        Hash(*term),
        TermBound(term.get_termfreq(), database.get_collection_freq(*term), sections, version));
    summary.top_ = std::max(summary.top_, bounds.back().second);
  }
  std::sort(bounds.begin(), bounds.end());
  const double step = summary.Step();
  for (const auto& [hash, bound] : bounds) {
    // Rounded up, and at least one step: a term of the index never reads as missing.
    const double steps = step > 0 ? std::ceil(bound / step) : 1;
    const auto rounded = static_cast<std::uint8_t>(std::clamp<double>(steps, 1, kMostSteps));
    if (!summary.terms_.empty() && summary.terms_.back() == hash) {
      summary.steps_.back() = std::max(summary.steps_.back(), rounded);
    } else {
      summary.terms_.push_back(hash);
      summary.steps_.push_back(rounded);
    }
  }
  summary.namesKnown_ = names != nullptr;
  for (std::size_t entry = 0; names && entry < names->Count(); ++entry) {
    summary.names_.push_back(NameHash(kDefinedTag, DefinedKey(names->Id(entry))));
  }
  for (const auto& page : pages) {
    summary.names_.push_back(NameHash(kTitleTag, Folded(TitleName(page.Title))));
  }
  const std::string headings = database.get_metadata(std::string(format::kHeadingsKey));
  if (!headings.empty()) {
    format::ForEachDefinition(headings, [&](std::string_view key, std::span<const Xapian::docid>) {
      summary.names_.push_back(NameHash(kHeadingTag, key));
    });
  }
  std::sort(summary.names_.begin(), summary.names_.end());
  summary.names_.erase(std::unique(summary.names_.begin(), summary.names_.end()),
                       summary.names_.end());
  return summary;
}

TQueryBound::TQueryBound(std::string query) : query_(std::move(query)) {
  const auto words = QueryWords(query_);
  std::vector<std::string> defined = {DottedName(query_)};
  if (words.size() >= 2) {
    std::string underscored;
    std::string joined;
    for (const std::string_view word : words) {
      underscored += underscored.empty() ? "" : "_";
      underscored += word;
      joined += word;
      // A word of several may name a definition that lifts the sections matching the words.
      defined.emplace_back(word);
    }
    defined.push_back(underscored);
    defined.push_back(joined);
  }
  for (const auto& name : defined) {
    if (!name.empty()) {
      names_.push_back(NameHash(kDefinedTag, DefinedKey(name)));
    }
  }
  names_.push_back(NameHash(kTitleTag, Folded(DottedName(query_))));
  names_.push_back(NameHash(kHeadingTag, format::HeadingKey(query_)));
}

const TQueryBound::TTerms& TQueryBound::TermsIn(const std::string& language) {
  if (const auto found = byLanguage_.find(language); found != byLanguage_.end()) {
    return found->second;
  }
  const Xapian::Stem stemmer = format::MakeStemmer(language);
  const TQueryParsing parsing{language, stemmer, format::SharedStopper(language)};
  // The words as typed, then their plain forms: the parts the ranking sums, besides the title
  // words.
  const std::vector<std::pair<Xapian::Query, double>> parts = {
      {ParseQuery(parsing, query_, Xapian::Query::OP_AND), 1.0},
      {ParsePlainForms(parsing, query_, Xapian::Query::OP_AND), kPlainFormWeight}};
  TTerms terms;
  std::vector<std::map<std::string, int>> counts(parts.size());
  for (std::size_t i = 0; i < parts.size(); ++i) {
    terms.Unbounded = terms.Unbounded || !CountTerms(parts[i].first, counts[i]);
  }
  // A plain form that is also typed is matched only in sections the form typed is not, and at
  // less weight: the form typed bounds both. The parts then share no term.
  static_assert(kPlainFormWeight <= 1);
  std::erase_if(counts[1], [&](const auto& term) { return counts[0].contains(term.first); });
  for (std::size_t i = 0; i < parts.size(); ++i) {
    for (const auto& [term, count] : counts[i]) {
      // A term typed more than once weighs up to twice as much each time (BM25's k3 = 1).
      const double each = count > 1 ? 2.0 : 1.0;
      terms.Terms.push_back({Hash(term), parts[i].second * each * count});
    }
  }
  for (const auto& [term, count] : counts.front()) {
    if (term.starts_with('Z')) {
      terms.Terms.push_back(
          {Hash(std::string(format::kStemmedTitlePrefix) + term.substr(1)), kTitleBoost});
    }
  }
  return byLanguage_.emplace(language, std::move(terms)).first->second;
}

double TQueryBound::In(const TTermSummary& summary) {
  constexpr double kUnbounded = std::numeric_limits<double>::infinity();
  // An index of no language named (from before one was stored) parses as its readers happen to.
  if (!summary.namesKnown_ || summary.Language().empty() ||
      std::any_of(names_.begin(), names_.end(),
                  [&](std::uint32_t key) { return summary.HasName(key); })) {
    return kUnbounded;
  }
  const TTerms& terms = TermsIn(summary.Language());
  if (terms.Unbounded) {
    return kUnbounded;
  }
  double steps = 0;
  for (const auto& term : terms.Terms) {
    steps += term.Factor * summary.Steps(term.Hash);
  }
  return steps * summary.Step() * (1 + kRoundingMargin);
}

}  // namespace tomelet::search
