// The sections a query names: definitions of the name typed, pages titled with it, headings that
// are the query, and the namesakes of its single words.
#include <algorithm>

#include "search/DefinitionSource.h"
#include "search/SearchIndexParts.h"

namespace tomelet::search {
namespace {

// Above the weight of any words, so the sections defining a typed name come first.
constexpr double kDefinitionWeight = 250.0;
// A name typed without its start ("path join", "rmtree") means the definitions ending so, the
// shortest names first (shutil.rmtree before test.support.os_helper.rmtree); among those of one
// length the words rank them.
constexpr double kPartBeforeWeight = 5.0;
// A module's namesake named by one of several words ("dataclass decorator" for
// dataclasses.dataclass) lifts its section over those that merely use the words, among the
// sections that match them.
constexpr double kWordDefinitionWeight = 20.0;
constexpr std::size_t kFewestHeadingWords = 3;

// A name whose module is named after it: dataclasses.dataclass, pprint.pprint, not
// ast.comprehension, where the word is more likely meant as a word.
bool IsNamesake(std::string_view id) {
  const auto dot = id.find('.');
  const auto last = id.rfind('.');
  return dot != std::string_view::npos &&
         Folded(id.substr(0, dot)).starts_with(Folded(id.substr(last + 1)));
}

// The sections given, each with its weight, as a query part.
Xapian::Query SectionsQuery(const std::map<Xapian::docid, double>& weights) {
  std::vector<Xapian::docid> documents;
  std::vector<double> documentWeights;
  for (const auto& [document, weight] : weights) {
    documents.push_back(document);
    documentWeights.push_back(weight);
  }
  return Xapian::Query(
      (new TDefinitionSource(std::move(documents), std::move(documentWeights)))->release());
}

}  // namespace

TNamedSections TSearchIndex::Impl::Named(TReader& reader, std::string_view query) const {
  const TNamedDefinitions named =
      version >= format::kDefinitionTableVersion ? names.Named(query) : NamedByTerms(reader, query);
  std::map<Xapian::docid, double> weights;
  TNamedSections sections;
  // The page titled with the name typed ("pickle", "re") comes before names that only end so
  // (copyreg.pickle), and opens at its top.
  if (!named.Whole) {
    for (const Xapian::docid section : TitledPages(reader, Folded(DottedName(query)))) {
      sections.Ids.emplace(section, std::string());
      weights.emplace(section, kDefinitionWeight);
    }
  }
  for (const auto& definition :
       weights.empty() ? named.Definitions : std::vector<TNamedDefinition>{}) {
    for (const Xapian::docid section : definition.Sections) {
      const double weight =
          kDefinitionWeight - kPartBeforeWeight * static_cast<double>(definition.PartsBefore);
      if (sections.Ids.emplace(section, definition.Id).second) {
        weights.emplace(section, weight);
      }
    }
  }
  // A name typed is more surely the name than a section's title ("ThreadPoolExecutor").
  for (const Xapian::docid section :
       weights.empty() ? Headed(reader, query) : std::vector<Xapian::docid>()) {
    weights.emplace(section, kDefinitionWeight);
  }
  if (weights.empty()) {
    sections.Lift = WordDefinitions(query);
    return sections;
  }
  sections.Query = SectionsQuery(weights);
  return sections;
}

Xapian::Query TSearchIndex::Impl::WordDefinitions(std::string_view query) const {
  const auto words = QueryWords(query);
  if (words.size() < 2 || version < format::kDefinitionTableVersion) {
    return {};
  }
  std::map<Xapian::docid, double> weights;
  for (const std::string_view word : words) {
    for (const auto& definition : names.Named(word).Definitions) {
      for (const Xapian::docid section :
           IsNamesake(definition.Id) ? definition.Sections : std::vector<Xapian::docid>()) {
        weights.emplace(section, kWordDefinitionWeight);
      }
    }
  }
  return weights.empty() ? Xapian::Query() : SectionsQuery(weights);
}

std::vector<Xapian::docid> TSearchIndex::Impl::Headed(TReader& reader,
                                                      std::string_view query) const {
  // A heading of a word or two is more often one that many pages share ("HOOKS", "Examples",
  // "fetch") than the subject of the page sought.
  if (QueryWords(query).size() < kFewestHeadingWords) {
    return {};
  }
  std::call_once(headingsRead, [&] {
    const std::string stored = reader.Database.get_metadata(std::string(format::kHeadingsKey));
    if (stored.empty()) {
      return;
    }
    auto table = format::DecodeDefinitions(stored);
    for (const auto& [key, documents] : table) {
      if (documents.back() > reader.Database.get_lastdocid()) {
        ThrowDamaged();
      }
    }
    headings = std::move(table);
  });
  const auto found = headings.find(format::HeadingKey(query));
  return found == headings.end() ? std::vector<Xapian::docid>() : found->second;
}

std::vector<Xapian::docid> TSearchIndex::Impl::TitledPages(TReader& reader,
                                                           std::string_view name) const {
  std::vector<Xapian::docid> sections;
  if (name.empty()) {
    return sections;
  }
  const auto [first, last] = pageNames.equal_range(std::string(name));
  for (auto it = first; it != last; ++it) {
    if (const Xapian::docid section = PagesOfSections(reader).FirstOf(it->second); section != 0) {
      sections.push_back(section);
    }
  }
  std::sort(sections.begin(), sections.end());
  return sections;
}

const TSectionPages& TSearchIndex::Impl::PagesOfSections(TReader& reader) const {
  std::call_once(sectionPagesRead,
                 [&] { sectionPages = TSectionPages(reader.Database, pages.size(), version); });
  return sectionPages;
}

TNamedDefinitions TSearchIndex::Impl::NamedByTerms(TReader& reader, std::string_view query) const {
  const std::string name = DottedName(query);
  for (const std::string& id : {name, Folded(name)}) {
    const std::string term = std::string(format::kIdPrefix) + id;
    if (id.empty() || term.size() > format::kMaxTermBytes) {
      continue;
    }
    TNamedDefinition definition{id, {}};
    for (auto it = reader.Database.postlist_begin(term);
         it != reader.Database.postlist_end(term) &&
         definition.Sections.size() < kMostSectionsNamed;
         ++it) {
      definition.Sections.push_back(*it);
    }
    if (!definition.Sections.empty()) {
      return {{std::move(definition)}, true};
    }
  }
  return {};
}

}  // namespace tomelet::search
