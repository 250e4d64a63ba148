#include "library/LibraryQuery.h"

#include <algorithm>

#include "platform/text/AsciiCase.h"

namespace tomelet::library {
namespace {

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool BeginsWithFolded(std::string_view name, std::string_view keyword) {
  return name.size() >= keyword.size() &&
         EqualsFoldedAscii(name.substr(0, keyword.size()), keyword);
}

// The documents each keyword picks; false when some keyword picks none.
bool PickByKeywords(std::string_view keywords, const TDocumentList& documents,
                    std::vector<std::string>& picked) {
  while (true) {
    const auto comma = keywords.find(',');
    const std::string_view keyword = Trimmed(keywords.substr(0, comma));
    const auto before = picked.size();
    for (const auto& document : documents) {
      if (!keyword.empty() && BeginsWithFolded(document->Name(), keyword)) {
        picked.push_back(document->Name());
      }
    }
    if (picked.size() == before) {
      return false;
    }
    if (comma == std::string_view::npos) {
      return true;
    }
    keywords.remove_prefix(comma + 1);
  }
}

bool InScope(const TLibraryQuery& query, const TLibraryDocument& document,
             const TDocumentFilter& allowed) {
  const auto& scope = query.Documents;
  return (scope.empty() || std::find(scope.begin(), scope.end(), document.Name()) != scope.end()) &&
         (!allowed || allowed(document));
}

}  // namespace

TLibraryQuery ReadLibraryQuery(std::string_view typed, std::vector<std::string> named,
                               const TDocumentList& documents) {
  TLibraryQuery query{std::string(Trimmed(typed)), std::move(named)};
  const auto colon = typed.find(':');
  std::vector<std::string> picked;
  if (colon != std::string_view::npos &&
      PickByKeywords(typed.substr(0, colon), documents, picked)) {
    query.Text = std::string(Trimmed(typed.substr(colon + 1)));
    query.Documents.insert(query.Documents.end(), picked.begin(), picked.end());
  }
  return query;
}

std::vector<const TLibraryDocument*> DocumentsInScope(const TDocumentList& documents,
                                                      const TLibraryQuery& query,
                                                      const TDocumentFilter& allowed) {
  std::vector<const TLibraryDocument*> inScope;
  for (const auto& document : documents) {
    if (InScope(query, *document, allowed)) {
      inScope.push_back(document.get());
    }
  }
  return inScope;
}

}  // namespace tomelet::library
