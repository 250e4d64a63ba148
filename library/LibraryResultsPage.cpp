#include "library/Catalogue.h"
#include "platform/text/Codepage.h"
#include "platform/text/HtmlEscapes.h"
#include "platform/text/PercentEscapes.h"
#include "platform/text/ShownText.h"
#include "search/ResultsPage.h"

namespace tomelet::library {
namespace {

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

}  // namespace tomelet::library
