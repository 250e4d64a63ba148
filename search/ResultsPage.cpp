#include "search/ResultsPage.h"

#include <algorithm>
#include <charconv>

#include "platform/text/Codepage.h"
#include "platform/text/HtmlEscapes.h"
#include "platform/text/PercentEscapes.h"
#include "platform/text/QueryString.h"
#include "platform/text/ShownText.h"

namespace tomelet::search {
namespace {

constexpr std::size_t kMaxLimit = 100;
constexpr std::size_t kMaxStart = 10000;

std::size_t Number(std::string_view text, std::size_t fallback, std::size_t most) {
  std::size_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    return fallback;
  }
  return std::min(value, most);
}

std::string Escaped(std::string_view text) {
  return HtmlEscaped(DisplayText(text));
}

// A name from the document as a person reads it: control characters escaped, then HTML.
std::string Shown(std::string_view name) {
  return HtmlEscaped(ShownName(name));
}

// A form that sends the query to the search address again; the button is left out of the Tab
// order, since Enter in the field sends it, so that Tab goes on to the results.
std::string SearchForm(std::string_view query, const TResultsAddresses& addresses, bool autofocus) {
  return "<form role=\"search\" action=\"" + HtmlEscaped(addresses.Search) +
         "\" method=\"get\"><label for=\"q\">Search the document</label> "
         "<input id=\"q\" type=\"search\" name=\"q\" value=\"" +
         Escaped(query) + "\"" + (autofocus ? " autofocus" : "") +
         "> <button type=\"submit\" tabindex=\"-1\">Search</button></form>\n";
}

// The page follows the reader's colour scheme: the browser's own colours turn dark with it, and
// the few colours of the page's own have a dark counterpart.
std::string PageStart(std::string_view title, std::string_view query, bool refresh,
                      const TResultsAddresses& addresses) {
  std::string page = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">";
  page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">";
  page += "<meta name=\"color-scheme\" content=\"light dark\">";
  if (refresh) {
    page += "<meta http-equiv=\"refresh\" content=\"1\">";
  }
  page += "<title>" + Escaped(title) + "</title>";
  page +=
      "<style>body{font:16px/1.5 sans-serif;max-width:48rem;margin:1rem auto;padding:0 1rem}"
      "li{margin:0 0 1rem}cite{color:#3b6e3b;font-style:normal;font-size:.9em}"
      "b{background:#fff3a0;color:#000}"
      "@media (prefers-color-scheme:dark){cite{color:#8fc98f}b{background:#5c5100;color:#fff}}";
  // Written last, the refining form is shown first.
  if (addresses.RefiningForm) {
    page += "main{display:flex;flex-direction:column}h1{order:-2}form{order:-1;margin:0 0 1rem}";
  }
  page += "</style></head>\n<body><main>\n<h1>Search</h1>\n";
  if (addresses.SearchForm && !addresses.RefiningForm) {
    page += SearchForm(query, addresses, true);
  }
  return page;
}

// The way back to the document closes the page, so that the first Tab from the query still lands
// on the first result.
std::string PageEnd(std::string_view query, const TResultsAddresses& addresses) {
  std::string end;
  if (!addresses.Document.empty()) {
    end +=
        "<nav><a href=\"" + HtmlEscaped(addresses.Document) + "\">Back to the document</a></nav>\n";
  }
  if (addresses.SearchForm && addresses.RefiningForm) {
    end += SearchForm(query, addresses, false);
  }
  return end + "</main></body></html>\n";
}

std::string HitList(const TResultsQuery& query, const TSearchResults& results,
                    const TResultsAddresses& addresses) {
  std::string list = "<p role=\"status\">";
  list += results.Hits.empty() && query.Start == 0
              ? "No pages match " + Escaped(query.Text) + "."
              : MatchCountText(results.Total, results.TotalExact) + " " + Escaped(query.Text) + ".";
  list += "</p>\n<ol start=\"" + std::to_string(query.Start + 1) + "\">\n";
  // The snippet is the index's own HTML: escaped text with the matched words in <b>.
  for (const auto& hit : results.Hits) {
    list += "<li><a href=\"" + HtmlEscaped(HitAddress(hit, addresses.Pages)) + "\">" +
            Shown(hit.Title) + "</a><br><cite>" + Shown(SlashSeparated(hit.Path)) + "</cite><br>" +
            hit.Snippet + "</li>\n";
  }
  return list + "</ol>\n";
}

std::string PagingLinks(const TResultsQuery& query, const TSearchResults& results,
                        const TResultsAddresses& addresses) {
  const std::string base = HtmlEscaped(addresses.Search) + "?q=" + PercentEncoded(query.Text, "") +
                           "&amp;limit=" + std::to_string(query.Limit) + "&amp;start=";
  std::string links;
  if (query.Start > 0) {
    links += "<a rel=\"prev\" href=\"" + base +
             std::to_string(query.Start > query.Limit ? query.Start - query.Limit : 0) +
             "\">Previous</a> ";
  }
  if (query.Start + results.Hits.size() < results.Total && results.Hits.size() == query.Limit) {
    links += "<a rel=\"next\" href=\"" + base + std::to_string(query.Start + query.Limit) +
             "\">Next</a>";
  }
  return links.empty() ? links : "<nav aria-label=\"Result pages\">" + links + "</nav>\n";
}

// "1,234,567": the digits grouped in threes.
std::string GroupedNumber(std::uint64_t number) {
  std::string digits = std::to_string(number);
  for (auto at = digits.size(); at > 3; at -= 3) {
    digits.insert(at - 3, ",");
  }
  return digits;
}

}  // namespace

TResultsQuery ParseResultsQuery(std::string_view queryString) {
  TResultsQuery parsed;
  parsed.Text = QueryValue(queryString, "q").value_or("");
  parsed.Start = Number(QueryValue(queryString, "start").value_or(""), 0, kMaxStart);
  parsed.Limit = std::max<std::size_t>(
      1, Number(QueryValue(queryString, "limit").value_or(""), kResultsPerPage, kMaxLimit));
  return parsed;
}

std::string MatchCountText(std::uint64_t total, bool exact) {
  const std::string count = (exact ? "" : "About ") + GroupedNumber(total);
  return count + (total == 1 ? " page matches" : " pages match");
}

std::string HitAddress(const TSearchHit& hit, std::string_view pagesPrefix) {
  std::string address = std::string(pagesPrefix) + PercentEncoded(SlashSeparated(hit.Path), "/");
  if (!hit.Anchor.empty()) {
    address += "#" + PercentEncoded(hit.Anchor, "");
  }
  return address;
}

std::string ResultsPageHtml(const TResultsQuery& query, const TSearchResults& results,
                            std::string_view refusal, const TResultsAddresses& addresses) {
  std::string page = PageStart(query.Text.empty() ? "Search" : "Search: " + query.Text, query.Text,
                               false, addresses);
  if (!refusal.empty()) {
    page +=
        "<p>" + Escaped(refusal) + "; these results come from an index built from the pages.</p>\n";
  }
  if (!query.Text.empty()) {
    page += HitList(query, results, addresses);
  }
  return page + PagingLinks(query, results, addresses) + PageEnd(query.Text, addresses);
}

std::string StatusPageHtml(const TResultsQuery& query, std::string_view message, bool refresh,
                           const TResultsAddresses& addresses) {
  return PageStart("Search", query.Text, refresh, addresses) + "<p role=\"status\">" +
         Escaped(message) + "</p>\n" + PageEnd(query.Text, addresses);
}

}  // namespace tomelet::search
