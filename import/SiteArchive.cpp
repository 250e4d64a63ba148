// A .zip or .tar.* of a built site. Archives often hold one folder with the site in it
// ("site/index.html"): that folder becomes the document's top.
#include <algorithm>
#include <map>

#include "import/DocumentWriting.h"
#include "import/Readers.h"
#include "search/SearchIndex.h"

namespace tomelet::importer {
namespace {

// "site/" when every name lies in that one folder, else empty.
std::string CommonTop(const std::vector<std::string>& names) {
  std::string top;
  for (const std::string& name : names) {
    const std::size_t slash = name.find('/');
    if (slash == std::string::npos)
      return {};
    const std::string folder = name.substr(0, slash + 1);
    if (!top.empty() && folder != top)
      return {};
    top = folder;
  }
  return top;
}

}  // namespace

void ReadPackedSite(const std::filesystem::path& source, ISourceSink& sink) {
  std::vector<std::string> names;
  for (const std::string& name : PackedFileNames(source))
    names.push_back(InsideName(name));
  if (const std::string top = PackedDocsetTop(names); !top.empty())
    return ReadPackedDocset(source, top, sink);
  const std::string top = CommonTop(names);
  std::vector<std::string> inside;
  for (const std::string& name : names)
    inside.push_back(name.substr(top.size()));
  const std::string start = GuessStartPage(inside);
  std::string language;
  if (!start.empty()) {
    ForEachPackedFile(source, [&](std::string_view name, std::span<const std::byte> bytes) {
      if (InsideName(name) == top + start)
        language =
            search::PageLanguage({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    });
  }
  sink.Begin({start, "", language, CountHtmlPages(inside)});
  ForEachPackedFile(source, [&](std::string_view name, std::span<const std::byte> bytes) {
    sink.Page(InsideName(name).substr(top.size()), bytes);
  });
  sink.Map({}, {});
}

}  // namespace tomelet::importer
