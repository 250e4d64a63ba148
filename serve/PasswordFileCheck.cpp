#include "serve/PasswordFileCheck.h"

#include <map>
#include <optional>

#include "document/Document.h"
#include "document/DocumentEntries.h"

namespace tomelet::serve {
namespace {

std::string LineOf(const TPasswordLine& line, const std::string& path) {
  return "Line " + std::to_string(line.Number) + " of the password file " + path;
}

// The document's own password; none when it cannot be opened (the catalogue says why).
std::optional<std::string> OwnPassword(const library::TLibraryDocument& document) {
  try {
    return document.Archive()->Options().AccessPassword();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<TPasswordLineProblem> CheckNamed(const TPasswordLine& line,
                                               const library::TLibrary& library,
                                               const std::string& path) {
  const auto document = library.Find(line.Name);
  if (!document) {
    return TPasswordLineProblem{
        false, LineOf(line, path) + " names \"" + line.Name +
                   "\", which is no document of the library now; it counts once one comes"};
  }
  const auto own = OwnPassword(*document);
  if (!own) {
    return std::nullopt;
  }
  if (own->empty()) {
    return TPasswordLineProblem{
        false, LineOf(line, path) + " names \"" + line.Name + "\", which has no password"};
  }
  if (!PasswordMatches(line.Password, *own)) {
    return TPasswordLineProblem{true, LineOf(line, path) + ": the password given for \"" +
                                          line.Name +
                                          "\" is not the document's, which is then "
                                          "refused to everyone"};
  }
  return std::nullopt;
}

}  // namespace

std::vector<TPasswordLineProblem> CheckPasswordLines(const std::vector<TPasswordLine>& lines,
                                                     const library::TLibrary& library,
                                                     const std::string& path) {
  std::vector<TPasswordLineProblem> problems;
  std::map<std::string, std::size_t> named;
  for (const auto& line : lines) {
    if (line.Name.empty()) {
      problems.push_back({true, LineOf(line, path) +
                                    " has no NAME: a library's password file has a line "
                                    "\"NAME:password\" per document"});
    } else if (const auto first = named.emplace(line.Name, line.Number); !first.second) {
      problems.push_back({false, LineOf(line, path) + " names \"" + line.Name + "\" again; line " +
                                     std::to_string(first.first->second) + " counts"});
    } else if (auto problem = CheckNamed(line, library, path)) {
      problems.push_back(std::move(*problem));
    }
  }
  return problems;
}

}  // namespace tomelet::serve
