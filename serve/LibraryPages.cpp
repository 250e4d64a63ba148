#include "serve/LibraryPages.h"

#include <nlohmann/json.hpp>

#include "document/DocumentEntries.h"
#include "platform/mime/MimeTable.h"
#include "platform/text/Codepage.h"
#include "platform/text/HtmlEscapes.h"
#include "platform/text/PercentEscapes.h"
#include "platform/text/ShownText.h"
#include "search/ResultsPage.h"
#include "serve/Replies.h"

namespace tomelet::serve {
namespace {

using library::IsoDate;
using library::TCatalogueEntry;
using library::TLibraryResults;

constexpr std::string_view kStyle =
    "<style>body{font:16px/1.5 sans-serif;max-width:56rem;margin:1rem auto;padding:0 1rem}"
    "table{border-collapse:collapse;width:100%}td,th{text-align:left;padding:.3rem .5rem;"
    "border-bottom:1px solid #ddd;vertical-align:middle}td.n{text-align:right}"
    "img{width:32px;height:32px;object-fit:contain}</style>";

std::string Megabytes(std::int64_t bytes) {
  const std::int64_t tenths = (bytes * 10 + (1 << 19)) >> 20;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

std::string DocumentUrl(const TCatalogueEntry& entry) {
  return "/" + entry.Name + "/";
}

std::string HtmlRow(const TCatalogueEntry& entry) {
  const auto& facts = entry.Facts;
  std::string row = "<tr><td>";
  if (facts.HasLogo) {
    row += "<img alt=\"\" src=\"" + DocumentUrl(entry) + std::string(kLogoAddress) + "\">";
  }
  row += "</td><td><a href=\"" + DocumentUrl(entry) + "\">" + HtmlEscaped(facts.Title) + "</a>";
  row += "<br><small>" + entry.Name;
  if (facts.Protected) {
    row += " &middot; protected by a password";
  }
  if (!facts.Error.empty()) {
    row += " &middot; cannot be read: " + HtmlEscaped(facts.Error);
  }
  row += "</small></td><td>" + HtmlEscaped(facts.Language) + "</td><td class=\"n\">" +
         (facts.Protected ? "" : std::to_string(facts.Pages)) + "</td><td class=\"n\">" +
         Megabytes(entry.Size) + "</td><td>" + IsoDate(entry.Modified).substr(0, 10) +
         "</td></tr>\n";
  return row;
}

std::string AtomEntry(const TCatalogueEntry& entry) {
  const auto& facts = entry.Facts;
  std::string xml = "<entry><title>" + HtmlEscaped(facts.Title) + "</title>";
  xml +=
      "<id>urn:tomelet:" + entry.Name + "</id><updated>" + IsoDate(entry.Modified) + "</updated>";
  if (!facts.Language.empty()) {
    xml += "<dc:language>" + HtmlEscaped(facts.Language) + "</dc:language>";
  }
  xml += "<summary>" + entry.Name + "</summary>";
  xml += "<link rel=\"alternate\" type=\"text/html\" href=\"" + DocumentUrl(entry) + "\"/>";
  if (!facts.Protected && facts.Error.empty()) {
    xml += "<link rel=\"http://opds-spec.org/acquisition\" type=\"" +
           std::string(kDocumentFileType) + "\" href=\"/-/file/" + entry.Name + "\" length=\"" +
           std::to_string(entry.Size) + "\"/>";
  }
  if (facts.HasLogo) {
    // Catalogue clients show these as the document's cover.
    for (const char* rel : {"http://opds-spec.org/image", "http://opds-spec.org/image/thumbnail"}) {
      xml += "<link rel=\"" + std::string(rel) + "\" type=\"" +
             std::string(*MimeTypeForFileName(kLogoAddress)) + "\" href=\"" + DocumentUrl(entry) +
             std::string(kLogoAddress) + "\"/>";
    }
  }
  return xml + "</entry>\n";
}

std::string Shown(std::string_view name) {
  return HtmlEscaped(ShownName(name));
}

std::string HitList(const TLibraryResults& results, std::size_t start) {
  std::string list = "<ol start=\"" + std::to_string(start + 1) + "\">\n";
  // The snippet is the index's own HTML: escaped text with the matched words in <b>.
  for (const auto& [document, hit] : results.Hits) {
    const std::string url = search::HitAddress(hit, "/" + document + "/");
    list += "<li><a href=\"" + HtmlEscaped(url) + "\">" + Shown(hit.Title) + "</a><br><cite>" +
            document + " &middot; " + Shown(SlashSeparated(hit.Path)) + "</cite><br>" +
            hit.Snippet + "</li>\n";
  }
  return list + "</ol>\n";
}

std::string PagingLink(std::string_view typed, std::size_t start, std::size_t limit,
                       std::string_view label) {
  return "<a href=\"/-/search?q=" + HtmlEscaped(PercentEncoded(DisplayText(typed), "")) +
         "&amp;start=" + std::to_string(start) + "&amp;limit=" + std::to_string(limit) + "\">" +
         std::string(label) + "</a> ";
}

}  // namespace

std::string CatalogueHtml(const std::vector<TCatalogueEntry>& entries) {
  std::string page = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">";
  page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">";
  page += "<title>Library</title><link rel=\"alternate\" type=\"" + std::string(kOpdsType) +
          "\" href=\"/-/catalog.atom\">" + std::string(kStyle) + "</head>\n<body><main>\n";
  page +=
      "<h1>Library</h1>\n<form role=\"search\" action=\"/-/search\" method=\"get\">"
      "<label for=\"q\">Search every document</label> <input id=\"q\" type=\"search\" "
      "name=\"q\" autofocus> <button type=\"submit\">Search</button></form>\n";
  page +=
      "<table><thead><tr><th></th><th>Document</th><th>Language</th><th>Pages</th>"
      "<th>Size</th><th>Date</th></tr></thead><tbody>\n";
  for (const auto& entry : entries) {
    page += HtmlRow(entry);
  }
  return page + "</tbody></table>\n</main></body></html>\n";
}

std::string CatalogueJson(const std::vector<TCatalogueEntry>& entries) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const auto& entry : entries) {
    const auto& facts = entry.Facts;
    nlohmann::ordered_json one = {{"name", entry.Name}, {"title", facts.Title}};
    // A protected document's language and pages are unknown rather than empty and none.
    if (!facts.Protected) {
      one["language"] = facts.Language;
      one["pages"] = facts.Pages;
    }
    one["size"] = entry.Size;
    one["modified"] = IsoDate(entry.Modified);
    one["protected"] = facts.Protected;
    one["url"] = DocumentUrl(entry);
    if (facts.HasLogo) {
      one["logo"] = DocumentUrl(entry) + std::string(kLogoAddress);
    }
    if (!facts.Error.empty()) {
      one["error"] = facts.Error;
    }
    list.push_back(std::move(one));
  }
  const nlohmann::ordered_json object = {{"documents", list}};
  return JsonText(object);
}

std::string CatalogueAtom(const std::vector<TCatalogueEntry>& entries) {
  std::int64_t newest = 0;
  for (const auto& entry : entries) {
    newest = std::max(newest, entry.Modified);
  }
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  xml +=
      "<feed xmlns=\"http://www.w3.org/2005/Atom\" xmlns:dc=\"http://purl.org/dc/terms/\" "
      "xmlns:opds=\"http://opds-spec.org/2010/catalog\">\n";
  xml += "<id>urn:tomelet:library</id><title>Library</title><updated>" + IsoDate(newest) +
         "</updated><author><name>tomelet serve</name></author>\n";
  for (const char* rel : {"self", "start"}) {
    xml += "<link rel=\"" + std::string(rel) + "\" type=\"" + std::string(kOpdsType) +
           "\" href=\"/-/catalog.atom\"/>\n";
  }
  xml += "<link rel=\"search\" type=\"text/html\" href=\"/-/search\"/>\n";
  for (const auto& entry : entries) {
    xml += AtomEntry(entry);
  }
  return xml + "</feed>\n";
}

std::string LibraryResultsHtml(std::string_view typed, const TLibraryResults& results,
                               std::size_t start, std::size_t limit) {
  std::string page = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">";
  page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">";
  page += "<title>" + HtmlEscaped(DisplayText(typed)) + " - Search</title>";
  page +=
      "<style>body{font:16px/1.5 sans-serif;max-width:48rem;margin:1rem auto;padding:0 1rem}"
      "li{margin:0 0 1rem}cite{color:#3b6e3b;font-style:normal;font-size:.9em}"
      "b{background:#fff3a0;color:#000}</style></head>\n<body><main>\n<h1>Search</h1>\n";
  page +=
      "<form role=\"search\" action=\"/-/search\" method=\"get\"><label for=\"q\">Search "
      "every document</label> <input id=\"q\" type=\"search\" name=\"q\" value=\"" +
      HtmlEscaped(DisplayText(typed)) +
      "\" autofocus> <button type=\"submit\">Search</button></form>\n";
  page += "<p role=\"status\">" +
          (results.Hits.empty() && start == 0
               ? "No pages match " + HtmlEscaped(DisplayText(results.Query)) + "."
               : search::MatchCountText(results.Total, results.TotalExact) + " " +
                     HtmlEscaped(DisplayText(results.Query)) + ".");
  if (!results.Indexing.empty()) {
    page += results.Indexing.size() == 1
                ? " 1 document is still being indexed and was left out."
                : " " + std::to_string(results.Indexing.size()) +
                      " documents are still being indexed and were left out.";
  }
  page += "</p>\n" + HitList(results, start) + "<nav>";
  if (start > 0) {
    page += PagingLink(typed, start > limit ? start - limit : 0, limit, "Previous");
  }
  if (start + results.Hits.size() < results.Total && results.Hits.size() == limit) {
    page += PagingLink(typed, start + limit, limit, "Next");
  }
  return page + "<a href=\"/\">Library</a></nav>\n</main></body></html>\n";
}

}  // namespace tomelet::serve
