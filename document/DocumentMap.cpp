// The "-map-" entry is UTF-8 text, one record a line with tab-separated fields, which the archive
// deflates well: a header line, the pages the keywords point at (so a page's path and title are
// written once), the contents in pre-order with each line's depth, then the keywords. A map whose
// keywords carry their source's types is written in the second version, which gives each keyword
// record a type field before its term; other maps keep the first, so older builds read them.
#include "document/DocumentMap.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>

#include "document/Document.h"

namespace tomelet {
namespace {

constexpr std::string_view kMapHeader = "tomelet-map ";
constexpr int kMapFormatVersion = 2;
constexpr int kUntypedMapVersion = 1;

// Fields are separated by tabs and records by line ends, so neither may appear inside one.
void AppendField(std::string& out, std::string_view field) {
  for (const char c : field)
    out += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
}

void AppendRecord(std::string& out, std::initializer_list<std::string_view> fields) {
  bool first = true;
  for (const std::string_view field : fields) {
    if (!first)
      out += '\t';
    AppendField(out, field);
    first = false;
  }
  out += '\n';
}

void AppendContents(std::string& out, const TContents& items, std::size_t depth) {
  for (const TContentsItem& item : items) {
    AppendRecord(out, {std::to_string(depth), item.Page, item.Anchor, item.Title});
    AppendContents(out, item.Children, depth + 1);
  }
}

[[noreturn]] void Damaged() {
  throw EDocumentMapError(std::string(kDamagedMapMessage));
}

std::size_t Number(std::string_view text) {
  std::size_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size())
    Damaged();
  return value;
}

// Reads the entry line by line, each split into the fields it must have.
class TMapReader {
 public:
  explicit TMapReader(std::string_view bytes) : rest_(bytes) {}

  std::vector<std::string_view> Record(std::size_t fieldCount) {
    const std::size_t end = rest_.find('\n');
    if (end == std::string_view::npos)
      Damaged();
    std::string_view line = rest_.substr(0, end);
    rest_.remove_prefix(end + 1);
    std::vector<std::string_view> fields;
    for (std::size_t i = 1; i < fieldCount; ++i) {
      const std::size_t tab = line.find('\t');
      if (tab == std::string_view::npos)
        Damaged();
      fields.push_back(line.substr(0, tab));
      line.remove_prefix(tab + 1);
    }
    fields.push_back(line);
    return fields;
  }

  // A "<name> <count>" line.
  std::size_t Count(std::string_view name) {
    const std::string_view line = Record(1).front();
    if (!line.starts_with(name) || line.size() <= name.size() || line[name.size()] != ' ')
      Damaged();
    return Number(line.substr(name.size() + 1));
  }

  bool AtEnd() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

// The map's version.
std::size_t ReadHeader(TMapReader& reader) {
  const std::string_view header = reader.Record(1).front();
  if (!header.starts_with(kMapHeader))
    Damaged();
  const std::size_t version = Number(header.substr(kMapHeader.size()));
  if (version > kMapFormatVersion)
    throw EDocumentMapError(std::string(kNewerMapMessage));
  return version;
}

TContents ReadContents(TMapReader& reader) {
  TContents contents;
  std::vector<TContents*> levels{&contents};
  for (std::size_t i = reader.Count("contents"); i > 0; --i) {
    const auto fields = reader.Record(4);
    const std::size_t depth = Number(fields[0]);
    if (depth >= levels.size())
      Damaged();
    levels.resize(depth + 1);
    TContents& siblings = *levels[depth];
    siblings.push_back(
        {std::string(fields[3]), std::string(fields[1]), std::string(fields[2]), {}});
    levels.push_back(&siblings.back().Children);
  }
  return contents;
}

TKeywordIndex ReadKeywords(TMapReader& reader, bool typed) {
  std::vector<std::pair<std::string, std::string>> pages;
  for (std::size_t i = reader.Count("pages"); i > 0; --i) {
    const auto fields = reader.Record(2);
    pages.emplace_back(fields[0], fields[1]);
  }
  std::vector<TKeyword> keywords;
  for (std::size_t i = reader.Count("keywords"); i > 0; --i) {
    const auto fields = reader.Record(typed ? 5 : 4);
    const std::size_t kind = Number(fields[0]);
    const std::size_t page = Number(fields[1]);
    if (kind > static_cast<std::size_t>(TKeywordKind::Definition) || page >= pages.size())
      Damaged();
    keywords.push_back({std::string(fields.back()), pages[page].first, std::string(fields[2]),
                        pages[page].second, static_cast<TKeywordKind>(kind),
                        typed ? std::string(fields[3]) : std::string()});
  }
  return TKeywordIndex(std::move(keywords));
}

void AppendKeywords(std::string& out, const std::vector<TKeyword>& keywords, bool typed) {
  std::vector<const TKeyword*> pages;
  std::unordered_map<std::string_view, std::size_t> pageNumbers;
  for (const TKeyword& keyword : keywords) {
    if (pageNumbers.emplace(keyword.Page, pages.size()).second)
      pages.push_back(&keyword);
  }
  out += "pages " + std::to_string(pages.size()) + "\n";
  for (const TKeyword* page : pages)
    AppendRecord(out, {page->Page, page->PageTitle});
  out += "keywords " + std::to_string(keywords.size()) + "\n";
  for (const TKeyword& keyword : keywords) {
    const std::string kind = std::to_string(static_cast<int>(keyword.Kind));
    const std::string page = std::to_string(pageNumbers.at(keyword.Page));
    if (typed)
      AppendRecord(out, {kind, page, keyword.Anchor, keyword.Type, keyword.Term});
    else
      AppendRecord(out, {kind, page, keyword.Anchor, keyword.Term});
  }
}

}  // namespace

std::size_t ContentsSize(const TContents& contents) {
  std::size_t size = contents.size();
  for (const TContentsItem& item : contents)
    size += ContentsSize(item.Children);
  return size;
}

std::size_t ContentsDepth(const TContents& contents) {
  std::size_t deepest = 0;
  for (const TContentsItem& item : contents)
    deepest = std::max(deepest, ContentsDepth(item.Children));
  return contents.empty() ? 0 : deepest + 1;
}

std::string WriteMapEntry(const TDocumentMap& map) {
  const std::vector<TKeyword> keywords = map.Keywords.All();
  const bool typed = std::any_of(keywords.begin(), keywords.end(),
                                 [](const TKeyword& keyword) { return !keyword.Type.empty(); });
  const int version = typed ? kMapFormatVersion : kUntypedMapVersion;
  std::string out = std::string(kMapHeader) + std::to_string(version) + "\n";
  out += "contents " + std::to_string(ContentsSize(map.Contents)) + "\n";
  AppendContents(out, map.Contents, 0);
  AppendKeywords(out, keywords, typed);
  return out;
}

TDocumentMap ReadMapEntry(std::string_view bytes) {
  TMapReader reader(bytes);
  const bool typed = ReadHeader(reader) >= kMapFormatVersion;
  TDocumentMap map;
  map.Contents = ReadContents(reader);
  map.Keywords = ReadKeywords(reader, typed);
  if (!reader.AtEnd())
    Damaged();
  return map;
}

std::unique_ptr<TDocumentMap> ReadStoredMap(const TDocument& document) {
  const int index = document.IndexOf(kMapEntry);
  if (index < 0)
    return nullptr;
  std::vector<std::byte> bytes;
  try {
    bytes = document.Contents(index);
  } catch (const EZLBArchiveError&) {
    Damaged();
  }
  return std::make_unique<TDocumentMap>(
      ReadMapEntry(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
}

}  // namespace tomelet
