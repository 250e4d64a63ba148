#include "search/IndexFormat.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "ZLIBArchive2/Codec.h"
#include "platform/text/Accents.h"
#include "platform/text/AsciiCase.h"
#include "search/SearchIndex.h"

namespace tomelet::search::format {
namespace {

constexpr std::array<const char*, 60> kEnglishStopWords = {
    "a",     "about", "an",   "and",  "are",   "as",  "at",    "be",   "but",   "by",
    "can",   "do",    "does", "for",  "from",  "has", "have",  "how",  "i",     "if",
    "in",    "into",  "is",   "it",   "its",   "me",  "my",    "not",  "of",    "on",
    "or",    "so",    "such", "than", "that",  "the", "their", "them", "then",  "there",
    "these", "they",  "this", "to",   "was",   "we",  "what",  "when", "where", "which",
    "who",   "why",   "will", "with", "would", "you", "your",  "been", "were",  "should"};

// Codes 1 to 127 (a byte in Xapian's postings) stand for weights evenly up to the greatest, 2:
// the weights that decide the first hits, those of words in titles and headings, are the
// greatest, and want the finest steps.
constexpr Xapian::termcount kMostCode = 127;
constexpr double kGreatestWeight = 2;
constexpr double kCodeStep = kGreatestWeight / kMostCode;

// BM25's part for a term counted `count` times in a section (k1 = 1): 2 count / (K + count).
double CountWeight(double count, double lengthFactor) {
  return kGreatestWeight * count / (lengthFactor + count);
}

// K of a section: 0.5 + 0.5 of its length over the average (b = 0.5), that never taken below
// 0.5, as Xapian's BM25 does by default.
double LengthFactor(double lengthOverAverage) {
  constexpr double kLeastLength = 0.5;
  return 0.5 + 0.5 * std::max(lengthOverAverage, kLeastLength);
}

void PutVarint(std::string& out, std::uint64_t value) {
  while (value >= 0x80) {
    out += static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  out += static_cast<char>(value);
}

std::uint64_t GetVarint(std::string_view& in) {
  std::uint64_t value = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    if (in.empty()) {
      break;
    }
    const auto byte = static_cast<unsigned char>(in.front());
    in.remove_prefix(1);
    value |= std::uint64_t{byte & 0x7Fu} << shift;
    if ((byte & 0x80) == 0) {
      return value;
    }
  }
  throw ESearchIndexError(std::string(kDamagedIndexMessage));
}

void PutField(std::string& out, std::string_view field) {
  PutVarint(out, field.size());
  out += field;
}

// The field in place, and `in` past it.
std::string_view TakeField(std::string_view& in) {
  const std::uint64_t size = GetVarint(in);
  if (size > in.size()) {
    throw ESearchIndexError(std::string(kDamagedIndexMessage));
  }
  const std::string_view field = in.substr(0, size);
  in.remove_prefix(size);
  return field;
}

std::string GetField(std::string_view& in) {
  return std::string(TakeField(in));
}

// The count of a list's items, each of at least a byte: more than the bytes left is damage, and
// no list is reserved beyond what the bytes can hold.
std::uint64_t GetCount(std::string_view& in) {
  const std::uint64_t count = GetVarint(in);
  if (count > in.size()) {
    throw ESearchIndexError(std::string(kDamagedIndexMessage));
  }
  return count;
}

bool HasStopWords(const std::string& stemmerLanguage) {
  return stemmerLanguage == "en" || stemmerLanguage == "english";
}

}  // namespace

std::vector<std::byte> EncodeHeader(std::uint64_t databaseSize) {
  std::vector<std::byte> header(kIndexHeaderSize);
  std::memcpy(header.data(), kMagic.data(), kMagic.size());
  for (int i = 0; i < 4; ++i) {
    header[16 + i] = static_cast<std::byte>((kIndexFormatVersion >> (8 * i)) & 0xFF);
  }
  for (int i = 0; i < 8; ++i) {
    header[24 + i] = static_cast<std::byte>((databaseSize >> (8 * i)) & 0xFF);
  }
  return header;
}

std::optional<THeader> DecodeHeader(std::span<const std::byte> bytes) {
  if (bytes.size() < kIndexHeaderSize ||
      std::memcmp(bytes.data(), kMagic.data(), kMagic.size()) != 0) {
    return std::nullopt;
  }
  THeader header;
  for (int i = 0; i < 4; ++i) {
    header.Version |= std::to_integer<std::uint32_t>(bytes[16 + i]) << (8 * i);
  }
  for (int i = 0; i < 8; ++i) {
    header.DatabaseSize |= std::to_integer<std::uint64_t>(bytes[24 + i]) << (8 * i);
  }
  return header;
}

std::string EncodeSection(const TSectionRecord& record) {
  std::string out;
  PutVarint(out, record.Page);
  PutField(out, record.Anchor);
  PutField(out, record.Text);
  return out;
}

TSectionView DecodeSection(std::string_view bytes) {
  TSectionView record;
  record.Page = GetVarint(bytes);
  record.Anchor = TakeField(bytes);
  record.Text = TakeField(bytes);
  return record;
}

namespace {

// A block or table claiming more than this is not one this builder wrote.
constexpr std::uint64_t kMaxDeflatedBytes = 16 << 20;

// Written once and read many times, so deflated harder than entries; the smallest level made
// python3.11-doc's index 0.7% smaller (24 KB) for a twelfth of the processor time of packing it.
constexpr int kRecordsLevel = 9;

// The plain size, then the deflated bytes.
std::string Deflated(const std::string& plain) {
  std::string out;
  PutVarint(out, plain.size());
  const auto stream = codec::Deflate(std::as_bytes(std::span(plain)), kRecordsLevel);
  out.append(reinterpret_cast<const char*>(stream.data()), stream.size());
  return out;
}

std::string Inflated(std::string_view bytes) {
  const std::uint64_t size = GetVarint(bytes);
  if (size > kMaxDeflatedBytes) {
    throw ESearchIndexError(std::string(kDamagedIndexMessage));
  }
  std::string plain(size, '\0');
  // Anything but exactly `size` bytes is refused.
  if (!codec::InflateExactly(std::as_bytes(std::span(bytes)),
                             std::as_writable_bytes(std::span(plain)))) {
    throw ESearchIndexError(std::string(kDamagedIndexMessage));
  }
  return plain;
}

}  // namespace

std::uint64_t SectionBlockNumber(std::uint64_t index) {
  return index / kSectionsPerBlock;
}

std::string SectionBlockKey(std::uint64_t share, std::uint64_t index) {
  return "tomelet.sections." + std::to_string(share) + "." +
         std::to_string(SectionBlockNumber(index));
}

std::size_t SectionSlot(std::uint64_t index) {
  return static_cast<std::size_t>(index % kSectionsPerBlock);
}

std::string EncodeCounts(const std::vector<std::uint64_t>& counts) {
  std::string out;
  PutVarint(out, counts.size());
  for (const std::uint64_t count : counts) {
    PutVarint(out, count);
  }
  return out;
}

std::vector<std::uint64_t> DecodeCounts(std::string_view bytes) {
  const std::uint64_t size = GetCount(bytes);
  std::vector<std::uint64_t> counts;
  for (std::uint64_t i = 0; i < size; ++i) {
    counts.push_back(GetVarint(bytes));
  }
  return counts;
}

std::string EncodeSectionBlock(const std::vector<TSectionRecord>& records) {
  std::string plain;
  PutVarint(plain, records.size());
  for (const auto& record : records) {
    plain += EncodeSection(record);
    PutVarint(plain, record.LeadStart);
    PutVarint(plain, record.LeadSize);
  }
  return Deflated(plain);
}

TSectionBlock::TSectionBlock(std::string_view bytes, std::uint32_t version)
    : plain_(Inflated(bytes)), withLeads_(version >= kLeadRangeVersion) {
  std::string_view rest(plain_);
  const std::uint64_t count = GetVarint(rest);
  if (count > kSectionsPerBlock) {
    throw ESearchIndexError(std::string(kDamagedIndexMessage));
  }
  starts_.reserve(count);
  for (std::uint64_t i = 0; i < count; ++i) {
    starts_.push_back(static_cast<std::uint32_t>(plain_.size() - rest.size()));
    GetVarint(rest);
    TakeField(rest);
    TakeField(rest);
    if (withLeads_) {
      GetVarint(rest);
      GetVarint(rest);
    }
  }
}

TSectionView TSectionBlock::Record(std::size_t slot) const {
  if (slot >= starts_.size()) {
    throw ESearchIndexError(std::string(kDamagedIndexMessage));
  }
  std::string_view rest = std::string_view(plain_).substr(starts_[slot]);
  TSectionView record;
  record.Page = GetVarint(rest);
  record.Anchor = TakeField(rest);
  record.Text = TakeField(rest);
  if (withLeads_) {
    record.LeadStart = GetVarint(rest);
    record.LeadSize = GetVarint(rest);
  }
  return record;
}

std::size_t TSectionBlock::Bytes() const {
  return sizeof(*this) + plain_.capacity() + starts_.capacity() * sizeof(std::uint32_t);
}

// Sorted ids share long prefixes ("os.path.join", "os.path.split"): each keeps the length of
// the prefix it shares with the one before and the rest; its documents follow as gaps.
std::string EncodeDefinitions(const TDefinitions& definitions) {
  std::string plain;
  PutVarint(plain, definitions.size());
  std::string_view previous;
  for (const auto& [id, documents] : definitions) {
    const auto shared = static_cast<std::size_t>(
        std::mismatch(previous.begin(), previous.end(), id.begin(), id.end()).first -
        previous.begin());
    PutVarint(plain, shared);
    PutField(plain, std::string_view(id).substr(shared));
    PutVarint(plain, documents.size());
    Xapian::docid last = 0;
    for (const Xapian::docid document : documents) {
      PutVarint(plain, document - last);
      last = document;
    }
    previous = id;
  }
  return Deflated(plain);
}

void ForEachDefinition(
    std::string_view bytes,
    const std::function<void(std::string_view id, std::span<const Xapian::docid> sections)>& each) {
  const std::string plain = Inflated(bytes);
  std::string_view rest(plain);
  const std::uint64_t count = GetVarint(rest);
  std::string previous;
  std::string id;
  std::vector<Xapian::docid> list;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t shared = GetVarint(rest);
    if (shared > previous.size()) {
      throw ESearchIndexError(std::string(kDamagedIndexMessage));
    }
    id.assign(previous, 0, shared);
    id += GetField(rest);
    const std::uint64_t documents = GetVarint(rest);
    if (documents == 0 || documents > rest.size() || (i > 0 && id <= previous)) {
      throw ESearchIndexError(std::string(kDamagedIndexMessage));
    }
    list.clear();
    Xapian::docid last = 0;
    for (std::uint64_t d = 0; d < documents; ++d) {
      // Strictly ascending, as the search reads them; anything else is not a table written here.
      const std::uint64_t gap = GetVarint(rest);
      if (gap == 0 || gap > std::numeric_limits<Xapian::docid>::max() - last) {
        throw ESearchIndexError(std::string(kDamagedIndexMessage));
      }
      last += static_cast<Xapian::docid>(gap);
      list.push_back(last);
    }
    each(id, list);
    std::swap(previous, id);
  }
}

TDefinitions DecodeDefinitions(std::string_view bytes) {
  TDefinitions definitions;
  ForEachDefinition(bytes, [&](std::string_view id, std::span<const Xapian::docid> sections) {
    definitions.emplace_hint(definitions.end(), std::string(id),
                             std::vector<Xapian::docid>(sections.begin(), sections.end()));
  });
  return definitions;
}

Xapian::termcount CountCode(Xapian::termcount count, double length, double averageLength) {
  const double weight = CountWeight(count, LengthFactor(length / averageLength));
  return static_cast<Xapian::termcount>(
      std::clamp<double>(std::round(weight / kCodeStep), 1, kMostCode));
}

double CodedWeight(Xapian::termcount code) {
  return kCodeStep * std::min(code, kMostCode);
}

double MostCountWeight(std::uint32_t version, double count) {
  if (version >= kWeighedCountsVersion) {
    return CodedWeight(static_cast<Xapian::termcount>(std::min<double>(count, kMostCode)));
  }
  // Counted as they were, in a section as short as any can be.
  return CountWeight(count, LengthFactor(0));
}

TCountedTerms CountedTerms(const Xapian::Document& document) {
  TCountedTerms counted;
  for (auto term = document.termlist_begin(); term != document.termlist_end(); ++term) {
    PutField(counted.Encoded, *term);
    PutVarint(counted.Encoded, term.get_wdf());
    counted.Length += term.get_wdf();
  }
  return counted;
}

Xapian::Document WeighedDocument(const TCountedTerms& terms, double averageLength) {
  Xapian::Document document;
  const auto length = static_cast<double>(terms.Length);
  for (std::string_view in = terms.Encoded; !in.empty();) {
    const std::string_view term = TakeField(in);
    const auto count = static_cast<Xapian::termcount>(GetVarint(in));
    document.add_term(std::string(term), CountCode(count, length, averageLength));
  }
  return document;
}

std::string EncodePages(const std::vector<TPageEntry>& pages) {
  std::string out;
  PutVarint(out, pages.size());
  for (const auto& page : pages) {
    PutField(out, page.Path);
    PutField(out, page.Title);
    PutVarint(out, page.Generated ? 1 : 0);
  }
  return out;
}

std::vector<TPageEntry> DecodePages(std::string_view bytes) {
  const std::uint64_t count = GetCount(bytes);
  std::vector<TPageEntry> pages;
  pages.reserve(count);
  for (std::uint64_t i = 0; i < count; ++i) {
    TPageEntry page;
    page.Path = GetField(bytes);
    page.Title = GetField(bytes);
    page.Generated = GetVarint(bytes) != 0;
    pages.push_back(std::move(page));
  }
  return pages;
}

std::string EncodeStems(const std::vector<std::string>& stems) {
  std::string out;
  PutVarint(out, stems.size());
  for (const auto& stem : stems) {
    PutField(out, stem);
  }
  return out;
}

std::vector<std::string> DecodeStems(std::string_view bytes) {
  const std::uint64_t count = GetCount(bytes);
  std::vector<std::string> stems;
  stems.reserve(count);
  for (std::uint64_t i = 0; i < count; ++i) {
    stems.push_back(GetField(bytes));
    if (i > 0 && stems[i - 1] >= stems[i]) {
      throw ESearchIndexError(std::string(kDamagedIndexMessage));
    }
  }
  return stems;
}

std::uint64_t PageOfKey(std::string_view key) {
  return GetVarint(key);
}

std::string StemmerLanguage(std::string_view language) {
  const std::string code = FoldAscii(language.substr(0, language.find_first_of("-_")));
  if (code.empty()) {
    return "en";
  }
  try {
    Xapian::Stem probe(code);
    return code;
  } catch (const Xapian::Error&) {
    return "none";
  }
}

Xapian::Stem MakeStemmer(const std::string& stemmerLanguage) {
  try {
    return Xapian::Stem(stemmerLanguage);
  } catch (const Xapian::Error&) {
    return Xapian::Stem("none");
  }
}

const Xapian::Stopper* SharedStopper(const std::string& stemmerLanguage) {
  static const Xapian::SimpleStopper english(kEnglishStopWords.begin(), kEnglishStopWords.end());
  return HasStopWords(stemmerLanguage) ? &english : nullptr;
}

std::string HeadingKey(std::string_view text) {
  const std::string plain = Xapian::Unicode::tolower(FoldAccents(text));
  std::string key;
  bool gap = false;
  for (Xapian::Utf8Iterator it(plain); it != Xapian::Utf8Iterator(); ++it) {
    if (Xapian::Unicode::is_wordchar(*it)) {
      if (gap && !key.empty()) {
        key += ' ';
      }
      gap = false;
      Xapian::Unicode::append_utf8(key, *it);
    } else {
      gap = true;
    }
  }
  // Section numbers ("7.2. Reading and Writing Files") are not typed.
  const std::size_t words = key.find_first_not_of("0123456789 ");
  return key.substr(std::min(words, key.size()), kMaxTermBytes);
}

}  // namespace tomelet::search::format
