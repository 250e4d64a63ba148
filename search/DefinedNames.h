// The names a document defines (the ids of its <dt> entries, "json.dumps") read the ways a
// programmer types them: "json.dumps", "json dumps()", "JSON.DUMPS", or only the end of the
// name ("path join" for os.path.join, "namedtuple" for collections.namedtuple).
#pragma once

#include <xapian.h>

#include <string>
#include <string_view>
#include <unordered_map>
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

// The query as a name: a single word as it is, several joined by "." ("subprocess run" ->
// "subprocess.run"); "()" dropped. Empty when the words cannot make a name ("open a file?").
std::string DottedName(std::string_view query);

// True for "a.b", "_x", "Name2": a name a programmer types, not "term-x", "index-3" or "f(x)".
bool IsProgramName(std::string_view id);

class TDefinedNames {
 public:
  TDefinedNames() = default;
  explicit TDefinedNames(format::TDefinitions definitions);
  // The lookups point into the table, whose nodes a move keeps and a copy would not.
  TDefinedNames(TDefinedNames&&) = default;
  TDefinedNames& operator=(TDefinedNames&&) = default;
  TDefinedNames(const TDefinedNames&) = delete;
  TDefinedNames& operator=(const TDefinedNames&) = delete;

  // The definitions the query names: those whose id is the query's dotted name (the same letter
  // case preferred, else any); failing that, those whose id ends with it after a "." (the same
  // letter case preferred; any only for a name of several parts, since a single word such as
  // "lambda" is more often a word than a class), when there are few enough of them to mean
  // something. Empty when the query names none.
  TNamedDefinitions Named(std::string_view query) const;
  const format::TDefinitions& All() const { return definitions_; }

 private:
  std::vector<TNamedDefinition> Collect(const std::vector<const std::string*>& ids,
                                        std::size_t typedParts) const;

  format::TDefinitions definitions_;
  // Folded id -> ids, and folded last part of an id -> ids, to look names up in any case.
  std::unordered_map<std::string, std::vector<const std::string*>> byFolded_;
  std::unordered_map<std::string, std::vector<const std::string*>> byLastPart_;
};

}  // namespace tomelet::search
