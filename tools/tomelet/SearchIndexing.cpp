#include "tools/tomelet/SearchIndexing.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "document/DocumentAddress.h"
#include "document/ProjectOptions.h"
#include "search/DocumentIndex.h"
#include "tools/tomelet/PackInput.h"

namespace tomelet::cli {

search::TIndexSettings PackIndexSettings(const std::vector<PackFile>& files,
                                         const std::string& startPageOption,
                                         const std::string& language) {
  search::TIndexSettings settings{language};
  const std::string wanted = FoldArchivePath(StartPageArchivePath(startPageOption));
  for (const auto& file : files) {
    settings.PageCount += search::IsHtmlPageName(file.archivePath) ? 1 : 0;
    if (settings.Language.empty() && !wanted.empty() &&
        FoldArchivePath(file.archivePath) == wanted) {
      std::ifstream in(file.source, std::ios::binary);
      const std::string html{std::istreambuf_iterator<char>(in), {}};
      settings.Language = search::PageLanguage(html);
    }
  }
  return settings;
}

search::TIndexProgress IndexingProgress() {
  if (::isatty(STDERR_FILENO) != 1) {
    return {};
  }
  return [shown = -1](std::size_t done, std::size_t total) mutable {
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    if (percent != shown) {
      shown = percent;
      std::fprintf(stderr, "\r%s", search::IndexingMessage(percent).c_str());
      if (done == total) {
        std::fputc('\n', stderr);
      }
      std::fflush(stderr);
    }
  };
}

}  // namespace tomelet::cli
