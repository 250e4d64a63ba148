#include "search/BrokenLinks.h"

#include <algorithm>

#include "document/Document.h"
#include "document/DocumentEntries.h"
#include "document/DocumentMap.h"
#include "platform/text/ShownText.h"
#include "search/ContentsFinder.h"
#include "search/HtmlText.h"
#include "search/SearchIndex.h"

namespace tomelet::search {
namespace {

bool Reaches(const TDocument& document, std::string target) {
  if (target.empty() || target.ends_with('/'))
    target += "index.html";
  std::replace(target.begin(), target.end(), '/', '\\');
  return document.Find(target).Found();
}

void CheckLink(const TDocument& document, const std::string& page, const std::string& link,
               const std::string& target, TLinkReport& report) {
  ++report.Checked;
  if (!Reaches(document, target))
    report.Broken.push_back({page, link, target});
}

void CheckPage(const TDocument& document, int index, TLinkReport& report) {
  std::vector<std::byte> bytes;
  try {
    bytes = document.Contents(index);
  } catch (const std::exception&) {
    return;
  }
  const std::string page = SlashSeparated(document.Entry(index).ArchivePath());
  const std::string_view html(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  for (const std::string& link : PageLinks(html)) {
    const TJoinedLink joined = JoinLink(page, link);
    const bool sameFile = link.starts_with('#') || link.empty();
    const std::string_view file = std::string_view(link).substr(0, link.find_first_of("?#"));
    if (!joined.External && !sameFile)
      CheckLink(document, page, link, file.ends_with('/') ? joined.Path + "/" : joined.Path,
                report);
  }
}

void CheckContents(const TDocument& document, const TContents& items, TLinkReport& report) {
  for (const TContentsItem& item : items) {
    if (!item.Page.empty())
      CheckLink(document, std::string(kMapEntry), item.Page, item.Page, report);
    CheckContents(document, item.Children, report);
  }
}

}  // namespace

TLinkReport FindBrokenLinks(const TDocument& document, const TDocumentMap* map) {
  TLinkReport report;
  for (int i = 0; i < document.EntryCount(); ++i) {
    const std::string path = document.Entry(i).ArchivePath();
    if (IsHtmlPageName(path) && !IsReservedEntry(path))
      CheckPage(document, i, report);
  }
  if (map != nullptr) {
    CheckContents(document, map->Contents, report);
    for (const TKeyword& keyword : map->Keywords.All())
      CheckLink(document, std::string(kMapEntry), keyword.Page, keyword.Page, report);
  }
  return report;
}

}  // namespace tomelet::search
