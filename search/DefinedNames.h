// The names a document defines (the ids of its <dt> entries, "json.dumps") read the ways a
// programmer types them: "json.dumps", "json dumps()", "JSON.DUMPS", or only the end of the
// name ("path join" for os.path.join, "namedtuple" for collections.namedtuple).
#pragma once

#include <xapian.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "search/IndexFormat.h"

namespace tomelet::search {

struct TNamedDefinition {
  std::string Id;
  std::vector<Xapian::docid> Sections;  // ascending, the first kMostSectionsNamed
  // How many parts of the id come before what was typed: 1 for os.path.join named "path join".
  std::size_t PartsBefore = 0;
};

inline constexpr std::size_t kMostSectionsNamed = 50;

struct TNamedDefinitions {
  std::vector<TNamedDefinition> Definitions;
  // The query is the whole name; otherwise only the end of each name.
  bool Whole = false;
};

// The words of a query as typed, "()" dropped from each.
std::vector<std::string_view> QueryWords(std::string_view query);

// The query as a name: a single word as it is, several joined by "." ("subprocess run" ->
// "subprocess.run"); "()" dropped. Empty when the words cannot make a name ("open a file?").
std::string DottedName(std::string_view query);

// True for "a.b", "_x", "Name2": a name a programmer types, not "term-x", "index-3" or "f(x)".
bool IsProgramName(std::string_view id);

class TDefinedNames {
 public:
  TDefinedNames() = default;
  explicit TDefinedNames(const format::TDefinitions& definitions);
  // The table as the index stores it (kDefinitionsKey), read without building a map: a library
  // opens indexes again and again. Throws ESearchIndexError (damaged) as DecodeDefinitions does,
  // and for a section beyond lastSection.
  TDefinedNames(std::string_view table, Xapian::docid lastSection);

  // The definitions the query names: those whose id is the query's dotted name (the same letter
  // case preferred, else any); failing that, those whose id ends with it after a "." (the same
  // letter case preferred; any only for a name of several parts, since a single word such as
  // "lambda" is more often a word than a class), when there are few enough of them to mean
  // something. Failing both, the query's words joined by "_", then joined into one word, are
  // looked up the same way, in any letter case. Empty when the query names none.
  TNamedDefinitions Named(std::string_view query) const;

  // Every id in order, with the first section defining it.
  std::size_t Count() const { return entries_.size(); }
  std::string_view Id(std::size_t entry) const;
  Xapian::docid FirstSection(std::size_t entry) const;

 private:
  // Where an id and its sections lie in the flat tables below: a manual defines tens of
  // thousands of names, and every library search may open its index anew.
  struct TEntry {
    std::uint32_t IdStart = 0;
    std::uint32_t IdLength = 0;
    std::uint32_t SectionsStart = 0;
    std::uint32_t SectionsCount = 0;
  };

  // The definitions named by name as Named finds them; words joined into name match in any
  // letter case.
  TNamedDefinitions NamedAs(const std::string& name, bool joinedWords) const;
  void Add(std::string_view id, std::span<const Xapian::docid> sections);
  // Folds the ids and fills the lookups, once every entry is added.
  void Finish();
  std::string_view FoldedId(std::uint32_t entry) const;
  std::string_view FoldedLastPart(std::uint32_t entry) const;
  // The entries whose key (of keyOf) is key, in the ids' order.
  template <typename TKeyOf>
  std::vector<std::uint32_t> Matching(const std::vector<std::uint32_t>& slots, std::string_view key,
                                      const TKeyOf& keyOf) const;
  std::vector<TNamedDefinition> Collect(const std::vector<std::uint32_t>& entries,
                                        std::size_t typedParts) const;

  std::string ids_;
  // ids_ in lower case; ASCII folding keeps every id at its place.
  std::string folded_;
  std::vector<TEntry> entries_;
  std::vector<Xapian::docid> sections_;
  // Entries by folded id, and those of several parts by their folded last part: open
  // addressing by the key's hash, entry + 1 in each slot (0 for none), entries of one key met in
  // the ids' order. Filled in one pass, where sorting tens of thousands of ids was most of the
  // time an index took to open.
  std::vector<std::uint32_t> byFolded_;
  std::vector<std::uint32_t> byLastPart_;
};

}  // namespace tomelet::search
