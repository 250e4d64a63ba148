// Ranking a query in one index: the query's form picked, sections matched, one hit a page kept,
// and the hits shown read with their snippets.
#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/text/Accents.h"
#include "search/HtmlText.h"
#include "search/ParsedQueries.h"
#include "search/RankingWeights.h"
#include "search/SearchIndexParts.h"
#include "search/SectionWeight.h"
#include "search/Snippet.h"

namespace tomelet::search {
namespace {

constexpr std::size_t kSnippetBytes = 200;
// Sections matched for each page asked, and how many times more when they were too few pages.
constexpr std::size_t kSectionsAPage = 5;
constexpr Xapian::doccount kMoreSections = 4;

// The same words looked up among page titles, to lift the page that is about them.
Xapian::Query TitleQuery(const Xapian::Query& parsed) {
  std::vector<Xapian::Query> titleTerms;
  for (auto it = parsed.get_unique_terms_begin(); it != parsed.get_unique_terms_end(); ++it) {
    const std::string term = *it;
    if (term.starts_with('Z')) {
      titleTerms.emplace_back(std::string(format::kStemmedTitlePrefix) + term.substr(1));
    }
  }
  return Xapian::Query(Xapian::Query::OP_OR, titleTerms.begin(), titleTerms.end());
}

// Whether any term of the query is in the database: one that has none matches nothing, and left
// out it costs no reading of the posting lists of the words it is joined with.
bool AnyIn(const Xapian::Database& database, const Xapian::Query& query) {
  for (auto it = query.get_unique_terms_begin(); it != query.get_unique_terms_end(); ++it) {
    if (database.term_exists(*it)) {
      return true;
    }
  }
  return false;
}

}  // namespace

TRanking::Impl::Impl(const TSearchIndex::Impl& index, std::unique_ptr<TReader> reader)
    : index(index), reader(std::move(reader)), enquire(this->reader->Database) {
  if (index.version >= format::kWeighedCountsVersion) {
    enquire->set_weighting_scheme(TSectionWeight());
  }
}

Xapian::Query TSearchIndex::Impl::PlainForms(TReader& reader, std::string_view query,
                                             Xapian::Query::op defaultOp) const {
  const Xapian::Query forms =
      ParsePlainForms({language, reader.Stemmer, reader.Stopper}, query, defaultOp);
  if (FoldAccents(query) == query && !FoldedFindsMore(reader, forms)) {
    return {};
  }
  if (!AnyIn(reader.Database, forms)) {
    return {};
  }
  return Xapian::Query(Xapian::Query::OP_SCALE_WEIGHT, forms, kPlainFormWeight);
}

bool TSearchIndex::Impl::FoldedFindsMore(TReader& reader, const Xapian::Query& forms) const {
  std::call_once(foldedApartRead, [&] {
    if (const std::string apart =
            reader.Database.get_metadata(std::string(format::kFoldedApartKey));
        !apart.empty()) {
      foldedApart = format::DecodeStems(apart);
    }
  });
  if (!foldedApart) {
    return true;
  }
  const auto stemmed = format::kStemmedFoldedPrefix;
  for (auto it = forms.get_unique_terms_begin(); it != forms.get_unique_terms_end(); ++it) {
    const std::string term = *it;
    if (term.starts_with(stemmed)) {
      if (std::binary_search(foldedApart->begin(), foldedApart->end(),
                             term.substr(stemmed.size()))) {
        return true;
      }
    } else if (term.starts_with(format::kFoldedPrefix)) {
      return true;  // an n-gram of CJK text, which no list names
    }
  }
  return false;
}

Xapian::Query TSearchIndex::Impl::Parse(TReader& reader, std::string_view query,
                                        Xapian::Query::op defaultOp) const {
  return ParseQuery({language, reader.Stemmer, reader.Stopper}, query, defaultOp);
}

void TRanking::Impl::Start(std::string_view query, std::size_t start, std::size_t limit) {
  named = index.Named(*reader, query);
  TMatched matched;
  for (const auto op : {Xapian::Query::OP_AND, Xapian::Query::OP_OR}) {
    Xapian::Query parsed = index.Parse(*reader, query, op);
    const Xapian::Query titles = TitleQuery(parsed);
    // Only where the form typed is missing, or every section with an accented name in it
    // would gain on all its words.
    if (const Xapian::Query plain = index.PlainForms(*reader, query, op); !plain.empty()) {
      parsed = Xapian::Query(Xapian::Query::OP_OR, parsed,
                             Xapian::Query(Xapian::Query::OP_AND_NOT, plain, parsed));
    }
    Xapian::Query ranked =
        titles.empty()
            ? parsed
            : Xapian::Query(Xapian::Query::OP_AND_MAYBE, parsed,
                            Xapian::Query(Xapian::Query::OP_SCALE_WEIGHT, titles, kTitleBoost));
    if (!named.Lift.empty()) {
      ranked = Xapian::Query(Xapian::Query::OP_AND_MAYBE, ranked, named.Lift);
    }
    if (!named.Query.empty()) {
      enquire->set_query(Xapian::Query(Xapian::Query::OP_OR, ranked, named.Query));
    } else {
      enquire->set_query(ranked);
    }
    matched = Matched(start + limit);
    if (matched.Sections.get_matches_estimated() > 0 || parsed.get_num_subqueries() < 2) {
      break;
    }
  }
  Keep(std::move(matched), start, limit);
}

// Only as many sections as the pages asked need are matched for sure: Xapian then stops once no
// further section can reach them, so the total is an estimate, and a search costs what its hits
// cost rather than what hundreds of sections do. Pages are told apart by the table of sections
// rather than by Xapian's collapsing, which reads every candidate's page value (a fifth of a
// search); most pages shown need no more than a few of their sections matched.
TRanking::Impl::TMatched TRanking::Impl::Matched(std::size_t wanted) const {
  constexpr std::size_t kMostAsked = std::numeric_limits<Xapian::doccount>::max();
  auto asked = static_cast<Xapian::doccount>(
      wanted > kMostAsked / kSectionsAPage ? kMostAsked : wanted * kSectionsAPage);
  for (;;) {
    TMatched matched{enquire->get_mset(0, asked), {}};
    matched.BestOfPages = BestOfPages(matched.Sections);
    if (matched.Sections.size() < asked || matched.BestOfPages.size() >= wanted ||
        asked > std::numeric_limits<Xapian::doccount>::max() / kMoreSections) {
      return matched;
    }
    asked *= kMoreSections;
  }
}

std::vector<Xapian::doccount> TRanking::Impl::BestOfPages(const Xapian::MSet& matches) const {
  const TSectionPages& sectionPages = index.PagesOfSections(*reader);
  // Pages are numbered below the index's count of them, so a bit a page tells them apart.
  std::vector<bool> seen(index.pages.size());
  std::vector<Xapian::doccount> best;
  Xapian::doccount at = 0;
  for (auto it = matches.begin(); it != matches.end(); ++it, ++at) {
    const std::uint64_t page = sectionPages.PageOf(*it);
    if (page < seen.size() && !seen[page]) {
      seen[page] = true;
      best.push_back(at);
    }
  }
  return best;
}

// Every section matched, the pages are counted; else their number is estimated from the share of
// distinct pages among the sections matched.
void TRanking::Impl::Keep(TMatched matched, std::size_t start, std::size_t limit) {
  Xapian::MSet& matches = matched.Sections;
  const std::vector<Xapian::doccount>& best = matched.BestOfPages;
  totalExact = matches.get_matches_lower_bound() == matches.size() &&
               matches.get_matches_upper_bound() == matches.size();
  total = best.size();
  if (!totalExact && !matches.empty()) {
    const double sectionsAPage =
        static_cast<double>(matches.size()) / static_cast<double>(best.size());
    total = std::clamp<std::uint64_t>(
        static_cast<std::uint64_t>(
            std::llround(static_cast<double>(matches.get_matches_estimated()) / sectionsAPage)),
        best.size(), std::max<std::uint64_t>(best.size(), index.pages.size()));
  }
  for (std::size_t shown = start; shown < best.size() && shown < start + limit; ++shown) {
    places.push_back({matchings.size(), best[shown], matches[best[shown]].get_weight()});
  }
  matchings.push_back(std::move(matches));
}

TSearchHit TRanking::Impl::Hit(std::size_t rank) const {
  const TPlace& place = places.at(rank);
  const Xapian::MSet& matches = matchings[place.Matching];
  const Xapian::MSetIterator match = matches[place.At];
  THitSource source;
  const auto record = index.Section(*reader, match, source);
  if (record.Page >= index.pages.size()) {
    ThrowDamaged();
  }
  TSearchHit hit;
  hit.Path = index.pages[record.Page].Path;
  const auto definition = named.Ids.find(*match);
  hit.Anchor = definition != named.Ids.end() ? definition->second : std::string(record.Anchor);
  hit.Title = index.pages[record.Page].Title;
  hit.Snippet = Snippet(matches, index.StoredText(match, record));
  hit.Score = place.Score;
  return hit;
}

std::string TRanking::Impl::Snippet(const Xapian::MSet& matches, std::string_view text) const {
  const std::string shown = SnippetText(text, kSnippetBytes);
  if (!marker) {
    marker = TSnippetMarker::ForQuery(enquire->get_query(), index.language, reader->Stemmer);
  }
  std::optional<std::string> marked = *marker ? (*marker)->Marked(shown) : std::nullopt;
  if (marked) {
    return std::move(*marked);
  }
  return matches.snippet(shown, kSnippetBytes, reader->Stemmer, Xapian::MSet::SNIPPET_CJK_NGRAM,
                         "<b>", "</b>", "\u2026");
}

TRanking::TRanking(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

TRanking::~TRanking() = default;

std::uint64_t TRanking::Total() const {
  return impl_->total;
}

bool TRanking::TotalExact() const {
  return impl_->totalExact;
}

std::size_t TRanking::Size() const {
  return impl_->places.size();
}

double TRanking::Score(std::size_t rank) const {
  return impl_->places.at(rank).Score;
}

TSearchHit TRanking::Hit(std::size_t rank) const {
  return impl_->Guarded([&] { return impl_->Hit(rank); });
}

format::TSectionView TSearchIndex::Impl::Section(TReader& reader, const Xapian::MSetIterator& match,
                                                 THitSource& source) const {
  if (version < format::kSectionBlockVersion) {
    source.Data = match.get_document().get_data();
    return format::DecodeSection(source.Data);
  }
  std::uint64_t share = 0;
  std::uint64_t index = *match - 1;
  while (share < shareSections.size() && index >= shareSections[share]) {
    index -= shareSections[share++];
  }
  if (share == shareSections.size()) {
    ThrowDamaged();
  }
  source.Block = Block(reader, share, index);
  return source.Block->Record(format::SectionSlot(index));
}

TSectionBlockCache::TShared TSearchIndex::Impl::Block(TReader& reader, std::uint64_t share,
                                                      std::uint64_t index) const {
  const TSectionBlockCache::TKey key{cacheOwner, share, format::SectionBlockNumber(index)};
  if (auto block = blocks->Find(key)) {
    return block;
  }
  return blocks->Keep(
      key, std::make_shared<const format::TSectionBlock>(
               reader.Database.get_metadata(format::SectionBlockKey(share, index)), version));
}

std::string TSearchIndex::Impl::StoredText(const Xapian::MSetIterator& match,
                                           const format::TSectionView& record) const {
  if (record.LeadSize == 0) {
    return std::string(record.Text);
  }
  const TSectionLeadCache::TKey key{cacheOwner, *match, 0};
  if (auto lead = leads->Find(key)) {
    return lead->Text;
  }
  // A damaged record may claim any size; the builder writes none beyond the bound.
  const auto bytes = pageSource ? pageSource(pages[record.Page].Path, record.LeadStart,
                                             std::min(record.LeadSize, format::kMaxLeadBytes))
                                : std::nullopt;
  if (!bytes) {
    return {};
  }
  auto lead = std::make_shared<TSectionLead>(
      TSectionLead{SnippetText(SectionLead(*bytes), format::kStoredTextBytes)});
  return leads->Keep(key, std::move(lead))->Text;
}

}  // namespace tomelet::search
