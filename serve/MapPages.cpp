#include "serve/MapPages.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "document/Document.h"
#include "document/DocumentAddress.h"
#include "document/DocumentEntries.h"
#include "platform/text/HtmlEscapes.h"
#include "platform/text/PercentEscapes.h"
#include "search/DocumentMapBuilder.h"
#include "search/ResultsPage.h"
#include "search/SearchIndex.h"
#include "serve/EntryBodies.h"
#include "serve/StatusPage.h"

namespace tomelet::serve {
namespace {

using nlohmann::ordered_json;

constexpr std::size_t kDefaultKeywords = 20;
constexpr std::size_t kMostKeywords = 1000;

TSiteResponse MapReply(std::string contentType, std::string body) {
  TSiteResponse response;
  response.Headers = {{"Content-Type", std::move(contentType)}, {"Cache-Control", "no-store"}};
  response.ContentLength = static_cast<std::int64_t>(body.size());
  response.Body = TextBody(std::move(body));
  return response;
}

TSiteResponse MapJsonReply(const ordered_json& json) {
  return MapReply("application/json",
                  json.dump(-1, ' ', false, ordered_json::error_handler_t::replace) + "\n");
}

// The value of one field of a query string ("a=1&b=2"), decoded; empty when absent.
std::string QueryField(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    const std::size_t end = std::min(query.find('&'), query.size());
    const std::string_view field = query.substr(0, end);
    const std::size_t equals = field.find('=');
    if (field.substr(0, equals) == name && equals != std::string_view::npos)
      return PercentDecoded(field.substr(equals + 1), TPlusSign::Space, TBadEscape::Kept);
    query.remove_prefix(std::min(end + 1, query.size()));
  }
  return {};
}

std::size_t KeywordLimit(std::string_view text) {
  std::size_t limit = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), limit);
  if (error != std::errc() || end != text.data() + text.size() || limit == 0)
    return kDefaultKeywords;
  return std::min(limit, kMostKeywords);
}

// The server's address of a page of the map: the document's pages sit at the root.
std::string PageUrl(std::string_view page, std::string_view anchor) {
  std::string url = "/" + PercentEncoded(page, "/!$&'()*+,;=:@");
  if (!anchor.empty())
    url += "#" + PercentEncoded(anchor, "!$&'()*+,;=:@/?");
  return url;
}

void AppendContentsList(std::string& html, const TContents& items) {
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

std::string ContentsPageHtml(const TContents& contents) {
  std::string html =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<title>Contents</title><style>body{font-family:sans-serif;max-width:60em;margin:1em auto;"
      "padding:0 1em}ul{padding-left:1.4em}li{margin:.15em 0}</style></head><body>\n"
      "<h1>Contents</h1>\n<p><a href=\"/\">Start page</a> &middot; "
      "<a href=\"/-/search\">Search</a></p>\n";
  if (contents.empty())
    html += "<p>The document has no table of contents.</p>";
  else
    AppendContentsList(html, contents);
  return html + "\n</body></html>\n";
}

ordered_json KeywordsJson(std::string_view query, const std::vector<TKeyword>& found) {
  ordered_json list = ordered_json::parse(KeywordsToJson(found));
  for (std::size_t i = 0; i < found.size(); ++i)
    list[i]["url"] = PageUrl(found[i].Page, found[i].Anchor);
  return {{"query", query}, {"keywords", std::move(list)}};
}

}  // namespace

TMapPages::TMapPages(std::shared_ptr<const TDocument> archive, std::string startPage)
    : archive_(std::move(archive)), startPage_(std::move(startPage)) {}

bool TMapPages::Handles(std::string_view path) {
  return path == "/-/contents" || path == "/-/contents.json" || path == "/-/keywords.json" ||
         path == "/-/outline.json";
}

const TDocumentMap& TMapPages::Map() const {
  std::call_once(opened_, [this] { map_ = search::OpenDocumentMap(*archive_, startPage_); });
  return *map_;
}

TSiteResponse TMapPages::Respond(std::string_view target) const {
  const std::size_t mark = target.find('?');
  const std::string_view path = target.substr(0, mark);
  const std::string_view query = mark == std::string_view::npos ? "" : target.substr(mark + 1);
  if (path == "/-/outline.json")
    return Outline(QueryField(query, "path"));
  if (path == "/-/contents.json")
    return MapReply("application/json", ContentsToJson(Map().Contents) + "\n");
  if (path == "/-/contents")
    return MapReply("text/html; charset=utf-8", ContentsPageHtml(Map().Contents));
  const std::string wanted = QueryField(query, "q");
  const auto found = Map().Keywords.Lookup(wanted, KeywordLimit(QueryField(query, "limit")));
  return MapJsonReply(KeywordsJson(wanted, found));
}

TSiteResponse TMapPages::Outline(std::string_view page) const {
  std::string_view relative = page;
  while (relative.starts_with('/'))
    relative.remove_prefix(1);
  const std::string archivePath = RelativeAddressToArchivePath(relative);
  const TFoundEntry entry = archive_->Find(archivePath);
  if (!entry.Found() || IsReservedEntry(archivePath) || !search::IsHtmlPageName(archivePath))
    return StatusPage(404, "Not Found", "The document has no page " + std::string(page) + ".");
  const auto bytes = archive_->Contents(entry.Index);
  ordered_json headings = ordered_json::array();
  for (const auto& heading :
       search::PageOutline({reinterpret_cast<const char*>(bytes.data()), bytes.size()})) {
    headings.push_back(
        {{"level", heading.Level}, {"title", heading.Title}, {"anchor", heading.Anchor}});
  }
  return MapJsonReply({{"path", page}, {"headings", std::move(headings)}});
}

}  // namespace tomelet::serve
