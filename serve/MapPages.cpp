#include "serve/MapPages.h"

#include <charconv>

#include "document/Document.h"
#include "document/DocumentAddress.h"
#include "document/DocumentEntries.h"
#include "platform/text/HtmlEscapes.h"
#include "platform/text/PercentEscapes.h"
#include "platform/text/QueryString.h"
#include "search/DocumentMapBuilder.h"
#include "search/ResultsPage.h"
#include "search/SearchIndex.h"
#include "serve/Replies.h"

namespace tomelet::serve {
namespace {

using nlohmann::ordered_json;

constexpr std::size_t kDefaultKeywords = 20;
constexpr std::size_t kMostKeywords = 1000;

std::size_t KeywordLimit(std::string_view text) {
  std::size_t limit = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), limit);
  if (error != std::errc() || end != text.data() + text.size() || limit == 0)
    return kDefaultKeywords;
  return std::min(limit, kMostKeywords);
}

}  // namespace

TMapPages::TMapPages(std::shared_ptr<const TDocument> archive, std::string startPagePath,
                     std::string mount)
    : archive_(std::move(archive)),
      startPagePath_(std::move(startPagePath)),
      mount_(std::move(mount)) {}

const TDocumentMap& TMapPages::Map() const {
  std::call_once(opened_, [this] { map_ = search::OpenDocumentMap(*archive_, startPagePath_); });
  return *map_;
}

std::string TMapPages::PageUrl(std::string_view page, std::string_view anchor) const {
  std::string url = mount_ + "/" + PercentEncoded(page, "/!$&'()*+,;=:@");
  if (!anchor.empty())
    url += "#" + PercentEncoded(anchor, "!$&'()*+,;=:@/?");
  return url;
}

void TMapPages::AppendContentsList(std::string& html, const TContents& items) const {
  html += "<ul>";
  for (const TContentsItem& item : items) {
    html += "<li>";
    if (item.Page.empty())
      html += HtmlEscaped(item.Title);
    else
      html += "<a href=\"" + HtmlEscaped(PageUrl(item.Page, item.Anchor)) + "\">" +
              HtmlEscaped(item.Title) + "</a>";
    if (!item.Children.empty())
      AppendContentsList(html, item.Children);
    html += "</li>\n";
  }
  html += "</ul>";
}

TSiteResponse TMapPages::ContentsPage(const TRequestContext&) const {
  std::string html =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<title>Contents</title><style>body{font-family:sans-serif;max-width:60em;margin:1em auto;"
      "padding:0 1em}ul{padding-left:1.4em}li{margin:.15em 0}</style></head><body>\n"
      "<h1>Contents</h1>\n<p><a href=\"" +
      HtmlEscaped(mount_) + "/\">Start page</a> &middot; <a href=\"" + HtmlEscaped(mount_) +
      "/-/search\">Search</a></p>\n";
  const TContents& contents = Map().Contents;
  if (contents.empty())
    html += "<p>The document has no table of contents.</p>";
  else
    AppendContentsList(html, contents);
  return TextReply(200, kHtmlType, html + "\n</body></html>\n");
}

TSiteResponse TMapPages::ContentsJson(const TRequestContext&) const {
  return TextReply(200, kJsonType, ContentsToJson(Map().Contents) + "\n");
}

TSiteResponse TMapPages::Keywords(const TRequestContext& context) const {
  const std::string wanted = QueryValue(context.Query, "q").value_or("");
  const auto found =
      Map().Keywords.Lookup(wanted, KeywordLimit(QueryValue(context.Query, "limit").value_or("")));
  ordered_json reply = ordered_json::parse(KeywordsToJson(wanted, found));
  for (std::size_t i = 0; i < found.size(); ++i)
    reply["keywords"][i]["url"] = PageUrl(found[i].Page, found[i].Anchor);
  return JsonReply(200, std::move(reply));
}

TSiteResponse TMapPages::Outline(const TRequestContext& context) const {
  const std::string page = QueryValue(context.Query, "path").value_or("");
  std::string_view relative = page;
  while (relative.starts_with('/'))
    relative.remove_prefix(1);
  const std::string archivePath = RelativeAddressToArchivePath(relative);
  const TFoundEntry entry = archive_->Find(archivePath);
  if (!entry.Found() || IsReservedEntry(archivePath) || !search::IsHtmlPageName(archivePath))
    return StatusPage(404, "Not Found", "The document has no page " + page + ".");
  const auto bytes = archive_->Contents(entry.Index);
  ordered_json headings = ordered_json::array();
  for (const auto& heading :
       search::PageOutline({reinterpret_cast<const char*>(bytes.data()), bytes.size()})) {
    headings.push_back(
        {{"level", heading.Level}, {"title", heading.Title}, {"anchor", heading.Anchor}});
  }
  return JsonReply(200, {{"path", page}, {"headings", std::move(headings)}});
}

}  // namespace tomelet::serve
