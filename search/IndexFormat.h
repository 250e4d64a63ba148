// What the builder and the reader of the index agree on: the header, the record of each
// section, the metadata keys and the language set-up.
#pragma once

#include <xapian.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tomelet::search::format {

inline constexpr std::string_view kMagic("TOMELET-INDEX\0\0\0", 16);
inline constexpr Xapian::valueno kPageSlot = 0;
inline constexpr std::string_view kIdPrefix = "XA";
// Words of the page title, on the first section of each page only.
inline constexpr std::string_view kTitlePrefix = "S";
// Words of a section that has accents, again with the accents folded ("resume" of "résumé").
inline constexpr std::string_view kFoldedPrefix = "F";
// The same prefixes on stemmed terms, after Xapian's mark of a stem: "ZSpickl" of a title's
// "pickle".
inline constexpr std::string_view kStemmedTitlePrefix = "ZS";
inline constexpr std::string_view kStemmedFoldedPrefix = "ZF";
static_assert(kStemmedTitlePrefix.substr(1) == kTitlePrefix &&
              kStemmedFoldedPrefix.substr(1) == kFoldedPrefix);
// The term a folded term stands for in a section's words as written: "ZFresum" for "Zresum".
inline std::string WrittenForm(std::string_view folded) {
  if (folded.starts_with(kStemmedFoldedPrefix)) {
    return "Z" + std::string(folded.substr(kStemmedFoldedPrefix.size()));
  }
  return std::string(folded.substr(kFoldedPrefix.size()));
}
// Up to version 4 a section with accents holds every word again folded, under kFoldedPrefix.
// From version 5 it holds only the folded forms it lacks as written (a query's folded form
// matches either): every word twice took up to half of the index of a book in German or French.
inline constexpr std::string_view kLanguageKey = "tomelet.language";
inline constexpr std::string_view kPagesKey = "tomelet.pages";
// Up to version 3 each section names its page in a value (kPageSlot), read by PageOfKey. From
// version 4 the sections' pages are one list under kSectionPagesKey instead: for each run of
// consecutive sections of one page, in section order, the page and the number of sections.
// The values took 2% of the index.
inline constexpr std::uint32_t kSectionPagesVersion = 4;
inline constexpr std::string_view kSectionPagesKey = "tomelet.section-pages";
// Throws ESearchIndexError (damaged) when the key is cut short.
std::uint64_t PageOfKey(std::string_view key);
// Xapian refuses longer terms.
inline constexpr std::size_t kMaxTermBytes = 240;

struct THeader {
  std::uint32_t Version = 0;
  std::uint64_t DatabaseSize = 0;
};

std::vector<std::byte> EncodeHeader(std::uint64_t databaseSize);
// Nullopt when the bytes do not start with the magic text.
std::optional<THeader> DecodeHeader(std::span<const std::byte> bytes);

// Path and title live once per page in the pages list; a section names its page by number.
// The start of a section's text that its snippet is cut from, kept or read again.
inline constexpr std::size_t kStoredTextBytes = 200;

// A section's text is either kept (the start of it) or read again from its page: LeadSize bytes
// of the page from LeadStart on, the section's lead range, never longer than kMaxLeadBytes.
struct TSectionRecord {
  std::uint64_t Page = 0;
  std::string Anchor;
  std::string Text;
  std::uint64_t LeadStart = 0;
  std::uint64_t LeadSize = 0;  // 0: the text is kept
};

// A record read in place, valid while its bytes live.
struct TSectionView {
  std::uint64_t Page = 0;
  std::string_view Anchor;
  std::string_view Text;
  std::uint64_t LeadStart = 0;
  std::uint64_t LeadSize = 0;
};

// Indexes of version 1 keep each record as its document's data.
std::string EncodeSection(const TSectionRecord& record);
// Throws ESearchIndexError (damaged) when the bytes are cut short.
TSectionView DecodeSection(std::string_view bytes);

// From version 2 the records are kept outside the documents, deflated in blocks of consecutive
// sections under metadata keys: compressed together, the snippets take a third of the room. The
// pages are indexed in shares whose documents follow one another in the database; the number
// of sections of each share is kept under kSharesKey.
inline constexpr std::uint32_t kSectionBlockVersion = 2;
inline constexpr std::string_view kSharesKey = "tomelet.shares";
// Blocks of 512 deflate 7% smaller but a hit then inflates four times the bytes for its snippet.
inline constexpr std::uint64_t kSectionsPerBlock = 128;
// The block holding section `index` (counted from 0) of a share, its number and metadata key,
// and the section's place in the block.
std::uint64_t SectionBlockNumber(std::uint64_t index);
std::string SectionBlockKey(std::uint64_t share, std::uint64_t index);
std::size_t SectionSlot(std::uint64_t index);
std::string EncodeCounts(const std::vector<std::uint64_t>& counts);
// Throws ESearchIndexError (damaged) when the bytes are cut short.
std::vector<std::uint64_t> DecodeCounts(std::string_view bytes);
// From version 4 a record names its lead range: the start of the sections' text, which took a
// quarter of the index, is read from the pages instead, which the document holds anyway.
inline constexpr std::uint32_t kLeadRangeVersion = 4;
inline constexpr std::uint64_t kMaxLeadBytes = 256 << 10;
std::string EncodeSectionBlock(const std::vector<TSectionRecord>& records);

// One block inflated once, its records read by slot without copying them: a hit needs one
// record of 128, and the block may serve many hits.
class TSectionBlock {
 public:
  // The block of an index of that version. Throws ESearchIndexError (damaged) when the block
  // does not inflate to the records it claims.
  TSectionBlock(std::string_view bytes, std::uint32_t version);
  // Throws ESearchIndexError (damaged) when the block holds no record in that slot.
  TSectionView Record(std::size_t slot) const;
  // What the block holds in memory.
  std::size_t Bytes() const;

 private:
  std::string plain_;
  std::vector<std::uint32_t> starts_;
  bool withLeads_;
};

// Up to version 2 each id of a defined name is a term of its section (kIdPrefix + id). From
// version 3 the ids are one deflated table under kDefinitionsKey instead: as terms, most of them
// found once, they took a tenth of the index.
inline constexpr std::uint32_t kDefinitionTableVersion = 3;
inline constexpr std::string_view kDefinitionsKey = "tomelet.definitions";
// Each id with the section documents defining it, ascending.
using TDefinitions = std::map<std::string, std::vector<Xapian::docid>>;
std::string EncodeDefinitions(const TDefinitions& definitions);
// Throws ESearchIndexError (damaged) when the table does not inflate, is cut short or lists a
// section twice or out of order.
TDefinitions DecodeDefinitions(std::string_view bytes);
// Each id of the table with its sections, in the order of the ids, read as DecodeDefinitions
// reads them (and throwing as it does) without building the map.
void ForEachDefinition(
    std::string_view bytes,
    const std::function<void(std::string_view id, std::span<const Xapian::docid> sections)>& each);

// Each section's heading as a key (HeadingKey), with the sections headed so, in the table form
// of the definitions, so that a query that is a section's title finds it. Indexes without the
// table (before it was written) find titles by their words alone.
inline constexpr std::string_view kHeadingsKey = "tomelet.headings";
// The words of text, letter case and accents folded, one space between them: "Reading and
// Writing Files", "7.2. Reading and Writing Files" and "reading and  writing files?" give the
// same key.
std::string HeadingKey(std::string_view text);

// The stems whose plain and folded terms (kFoldedPrefix) differ in some section that has
// accents: one section holds one of them and not the other ("resume", folded from "résumé").
// For any other stem the folded term adds no section that the plain one lacks, so a query
// typed without accents that names none of these finds nothing more by its folded form and
// need not be matched again in it. From version 5 these are the stems that have a folded term
// at all. Indexes written before the list have no such key, and every folded form is matched.
inline constexpr std::string_view kFoldedApartKey = "tomelet.folded-apart";
// Ascending, each once.
std::string EncodeStems(const std::vector<std::string>& stems);
// Throws ESearchIndexError (damaged) when the bytes are cut short or out of order.
std::vector<std::string> DecodeStems(std::string_view bytes);

// From version 6 a term's count in a section is stored as the weight BM25 gives the count in
// that section (k1 = 1, b = 0.5, the section's length over the average never taken below 0.5),
// in a byte's codes: a search then reads no section's length, which took half of Xapian's
// matching.
inline constexpr std::uint32_t kWeighedCountsVersion = 6;
// The code of the weight 2 count / (K + count), K = 0.5 + 0.5 max(length / average, 0.5).
Xapian::termcount CountCode(Xapian::termcount count, double length, double averageLength);
// The weight a code stands for, within half a step (1/127) of the weight coded; ascending with
// the code.
double CodedWeight(Xapian::termcount code);
// The most a term counted `count` times in all sections gives one of them, in an index of
// format `version`.
double MostCountWeight(std::uint32_t version, double count);
// The sections' average length is known once every page is read: until then a section's terms
// are kept as counted, compact.
struct TCountedTerms {
  std::string Encoded;       // each term as a field, then its count
  std::uint64_t Length = 0;  // the sum of the counts, the section's length
};
TCountedTerms CountedTerms(const Xapian::Document& document);
// The section's document, each term's count coded (CountCode) against averageLength.
Xapian::Document WeighedDocument(const TCountedTerms& terms, double averageLength);

struct TPageEntry {
  std::string Path;
  std::string Title;
  bool Generated = false;
};
std::string EncodePages(const std::vector<TPageEntry>& pages);
std::vector<TPageEntry> DecodePages(std::string_view bytes);

// The stemmer's name for a language code ("en-GB" -> "en"); "none" when Xapian has none.
std::string StemmerLanguage(std::string_view language);
Xapian::Stem MakeStemmer(const std::string& stemmerLanguage);
// Common English words, so a query for "how to open a file" is about "open" and "file"; null for
// other languages. One list for the process, never freed and safe to share between threads: what
// parses a query at every search or opens an index would otherwise build it each time.
const Xapian::Stopper* SharedStopper(const std::string& stemmerLanguage);

}  // namespace tomelet::search::format
