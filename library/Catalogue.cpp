#include "library/Catalogue.h"

#include <ctime>
#include <nlohmann/json.hpp>

#include "document/DocumentEntries.h"
#include "platform/mime/MimeTable.h"
#include "platform/text/HtmlEscapes.h"
#include "search/ResultsPage.h"

namespace tomelet::library {
namespace {

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

}  // namespace

std::vector<TCatalogueEntry> CatalogueEntries(const TDocumentList& documents) {
  std::vector<TCatalogueEntry> entries;
  entries.reserve(documents.size());
  for (const auto& document : documents) {
    entries.push_back({document->Name(), document->Facts(), document->Stamp().Size,
                       Nanoseconds(document->Stamp().Modified)});
  }
  return entries;
}

std::string IsoDate(std::int64_t nanoseconds) {
  const std::time_t seconds = static_cast<std::time_t>(nanoseconds / 1'000'000'000);
  std::tm parts{};
  ::gmtime_r(&seconds, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

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
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
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

}  // namespace tomelet::library
