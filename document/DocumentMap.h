// The document's map for every front end: its contents (a tree of titled links), its keyword
// index (the terms a reader looks up, each with its page and anchor) with the lookup a filter
// field runs on every key press, and the compact form both take in the reserved "-map-" entry.
// Building a map from the pages lives in search/DocumentMapBuilder.h.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tomelet {

class TDocument;

// Every refusal of a stored map or of a contents file carries one of these texts.
inline constexpr std::string_view kDamagedMapMessage = "The document's map is damaged";
inline constexpr std::string_view kNewerMapMessage =
    "The document's map was written by a newer version of Tomelet";

class EDocumentMapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One line of the contents. Page is an archive path with "/" between folders, not
// percent-encoded (front ends encode it into their own addresses); empty for a title that only
// groups its children.
struct TContentsItem {
  std::string Title;
  std::string Page;
  std::string Anchor;  // id on the page, without "#"; may be empty
  std::vector<TContentsItem> Children;

  bool operator==(const TContentsItem&) const = default;
};
using TContents = std::vector<TContentsItem>;

// The number of lines in the tree and its depth (1 for a flat list, 0 when empty).
std::size_t ContentsSize(const TContents& contents);
std::size_t ContentsDepth(const TContents& contents);

enum class TKeywordKind : std::uint8_t {
  PageTitle,   // the page's main heading, else its <title>
  Heading,     // any other heading of the page
  Definition,  // a term defined on the page with an id of its own (an API name, a glossary term)
};

struct TKeyword {
  std::string Term;
  std::string Page;       // as TContentsItem::Page
  std::string Anchor;     // may be empty: the top of the page
  std::string PageTitle;  // of the page the term is on, to tell equal terms apart
  TKeywordKind Kind = TKeywordKind::Heading;
  // What the source calls the definition ("function", "class", "macro", "property"), for
  // keywords read from a source's own index; empty for those found in the pages.
  std::string Type = {};

  bool operator==(const TKeyword&) const = default;
};

// The part of a page title that names its subject: "pickle" of "pickle — Python object
// serialization", the whole title when it has no separator (" — ", " – ", " - ", " | ", ": ").
std::string_view TitleName(std::string_view title);

// The keywords in a form that answers a lookup in well under a millisecond for tens of thousands
// of terms. Immutable once built, so safe to share between threads.
class TKeywordIndex {
 public:
  TKeywordIndex();
  explicit TKeywordIndex(std::vector<TKeyword> keywords);
  ~TKeywordIndex();
  TKeywordIndex(TKeywordIndex&&) noexcept;
  TKeywordIndex& operator=(TKeywordIndex&&) noexcept;

  // The keywords matching query, best first, at most limit of them. A keyword matches when its
  // term begins with the query or has a word that does (letter case ignored; words start after
  // spaces and punctuation such as "." and "_", so "dumps" finds "json.dumps"), and when the
  // query has several words, when each of them begins a word of the term in that order; accents
  // are folded ("resume" finds "Résumé"). The name itself comes first (a definition of exactly
  // the query, a page titled with it: "re — Regular expression operations" for "re"), then
  // exact terms, then terms that begin with the query, then word matches; within each, terms
  // written as typed before those matched only with accents folded, then shorter terms first.
  // An empty query matches nothing.
  std::vector<TKeyword> Lookup(std::string_view query, std::size_t limit) const;

  std::size_t Size() const;
  // Every keyword, ordered by term.
  std::vector<TKeyword> All() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

struct TDocumentMap {
  TContents Contents;
  TKeywordIndex Keywords;
};

// The bytes of the "-map-" entry (see kMapEntry in DocumentEntries.h).
std::string WriteMapEntry(const TDocumentMap& map);
// Throws EDocumentMapError with kDamagedMapMessage or kNewerMapMessage when the bytes are not a
// map this version reads.
TDocumentMap ReadMapEntry(std::string_view bytes);
// The map the document carries; null without a "-map-" entry. Throws EDocumentMapError when the
// entry is damaged (its bytes, its CRC, or its form).
std::unique_ptr<TDocumentMap> ReadStoredMap(const TDocument& document);

// The version of the contents and keywords JSON, raised when a key changes meaning or goes away.
inline constexpr int kMapJsonVersion = 1;

// The contents as JSON: {"version", "contents": [{"title", "path", "children": [...]}]}, the
// anchor written into "path" after "#", "/" between folders. The form `tomelet pack --contents`
// reads back.
std::string ContentsToJson(const TContents& contents);
// The keywords found for query as JSON: {"version", "query", "keywords": [{"term", "path" (with
// "#anchor"), "title" (of the page), "kind" ("title", "heading" or "definition"), and "type" when
// the keyword has one}]}.
std::string KeywordsToJson(std::string_view query, const std::vector<TKeyword>& keywords);
// Reads the contents as ContentsToJson writes them, or their bare list as an author writes it.
// Throws EDocumentMapError "The contents file is not valid: <reason>" when the text is not such
// JSON (or a list of items with a "title").
TContents ContentsFromJson(std::string_view json);

}  // namespace tomelet
