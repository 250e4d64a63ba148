#include "tools/tomelet/serve/SearchPages.h"

#include <algorithm>
#include <charconv>
#include <nlohmann/json.hpp>

#include "platform/text/Codepage.h"
#include "search/DocumentIndex.h"
#include "tools/tomelet/serve/EntryBodies.h"
#include "tools/tomelet/serve/HtmlText.h"

namespace tomelet::serve {
namespace {

constexpr std::size_t kDefaultLimit = 10;
constexpr std::size_t kMaxLimit = 100;
constexpr std::size_t kMaxStart = 10000;
constexpr std::size_t kSuggestions = 10;

struct TQuery {
  std::string Text;
  std::size_t Start = 0;
  std::size_t Limit = kDefaultLimit;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// Form encoding: "+" is a space, "%XX" a byte.
std::string FormDecoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::size_t Number(std::string_view text, std::size_t fallback, std::size_t most) {
  std::size_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    return fallback;
  }
  return std::min(value, most);
}

TQuery ParseQuery(std::string_view query) {
  TQuery parsed;
  while (!query.empty()) {
    const auto amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    const auto equals = pair.find('=');
    const std::string_view key = pair.substr(0, equals);
    const std::string value =
        equals == std::string_view::npos ? std::string() : FormDecoded(pair.substr(equals + 1));
    if (key == "q") {
      parsed.Text = value;
    } else if (key == "start") {
      parsed.Start = Number(value, 0, kMaxStart);
    } else if (key == "limit") {
      parsed.Limit = std::max<std::size_t>(1, Number(value, kDefaultLimit, kMaxLimit));
    }
  }
  return parsed;
}

std::string Utf8(std::string_view text) {
  return IsValidUtf8(text) ? std::string(text) : Windows1252ToUtf8(text);
}

std::string Escaped(std::string_view text) {
  return HtmlEscaped(Utf8(text));
}

std::string PercentEncoded(std::string_view text, std::string_view keep) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') ||
        (byte >= 'A' && byte <= 'Z') ||
        std::string_view("-._~").find(c) != std::string_view::npos ||
        keep.find(c) != std::string_view::npos) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

std::string PageUrl(const search::TSearchHit& hit) {
  std::string path = hit.Path;
  std::replace(path.begin(), path.end(), '\\', '/');
  std::string url = "/" + PercentEncoded(path, "/");
  if (!hit.Anchor.empty()) {
    url += "#" + PercentEncoded(hit.Anchor, "");
  }
  return url;
}

TSiteResponse Reply(int status, std::string contentType, std::string body) {
  TSiteResponse response;
  response.Status = status;
  response.Headers = {{"Content-Type", std::move(contentType)}, {"Cache-Control", "no-store"}};
  response.ContentLength = static_cast<std::int64_t>(body.size());
  response.Body = TextBody(std::move(body));
  return response;
}

TSiteResponse JsonReply(int status, const nlohmann::ordered_json& json) {
  return Reply(status, "application/json",
               json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
}

std::string PageStart(std::string_view title, std::string_view query, bool refresh) {
  std::string page = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">";
  page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">";
  if (refresh) {
    page += "<meta http-equiv=\"refresh\" content=\"1\">";
  }
  page += "<title>" + Escaped(title) + "</title>";
  page +=
      "<style>body{font:16px/1.5 sans-serif;max-width:48rem;margin:1rem auto;padding:0 1rem}"
      "li{margin:0 0 1rem}cite{color:#3b6e3b;font-style:normal;font-size:.9em}"
      "b{background:#fff3a0}</style></head>\n<body><main>\n<h1>Search</h1>\n";
  page +=
      "<form role=\"search\" action=\"/-/search\" method=\"get\">"
      "<label for=\"q\">Search the document</label> "
      "<input id=\"q\" type=\"search\" name=\"q\" value=\"" +
      Escaped(query) +
      "\" autofocus> "
      "<button type=\"submit\">Search</button></form>\n";
  return page;
}

std::string ResultsPage(const TQuery& query, const search::TSearchResults& results,
                        std::string_view refusal) {
  std::string page =
      PageStart(query.Text.empty() ? "Search" : "Search: " + query.Text, query.Text, false);
  if (!refusal.empty()) {
    page +=
        "<p>" + Escaped(refusal) + "; these results come from an index built from the pages.</p>\n";
  }
  if (!query.Text.empty()) {
    page += "<p role=\"status\">";
    page += results.Hits.empty() && query.Start == 0
                ? "No pages match " + Escaped(query.Text) + "."
                : "About " + std::to_string(results.Total) + " pages match " + Escaped(query.Text) +
                      ".";
    page += "</p>\n<ol start=\"" + std::to_string(query.Start + 1) + "\">\n";
    for (const auto& hit : results.Hits) {
      page += "<li><a href=\"" + Escaped(PageUrl(hit)) + "\">" + Escaped(hit.Title) +
              "</a><br><cite>" + Escaped(PageUrl(hit).substr(1)) + "</cite><br>" + hit.Snippet +
              "</li>\n";
    }
    page += "</ol>\n";
  }
  const std::string base = "/-/search?q=" + PercentEncoded(query.Text, "") +
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
  if (!links.empty()) {
    page += "<nav aria-label=\"Result pages\">" + links + "</nav>\n";
  }
  page += "</main></body></html>\n";
  return page;
}

nlohmann::ordered_json ResultsJson(const search::TSearchResults& results) {
  nlohmann::ordered_json hits = nlohmann::ordered_json::array();
  for (const auto& hit : results.Hits) {
    hits.push_back({{"path", Utf8(hit.Path)},
                    {"anchor", hit.Anchor},
                    {"title", hit.Title},
                    {"snippet", hit.Snippet},
                    {"score", hit.Score}});
  }
  return {{"query", Utf8(results.Query)}, {"total", results.Total}, {"results", hits}};
}

}  // namespace

TSearchPages::TSearchPages(std::shared_ptr<const TArchiveSnapshot> archive, std::string startPage)
    : index_(std::make_unique<search::TBackgroundIndex>(std::move(archive), std::move(startPage))) {
}

TSearchPages::~TSearchPages() = default;

TSiteResponse TSearchPages::Respond(std::string_view target) const {
  const auto mark = target.find('?');
  const std::string_view path = target.substr(0, mark);
  const TQuery query =
      ParseQuery(mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1));
  const bool html = path == "/-/search";
  const bool json = path == "/-/search.json";
  const bool suggest = path == "/-/suggest";
  if (!html && !json && !suggest) {
    return Reply(404, "text/plain; charset=utf-8", "No such search path.\n");
  }
  const auto state = index_->State();
  if (!state.Index) {
    const std::string message =
        state.Error.empty()
            ? "Indexing the document for search: " + std::to_string(state.Percent) + "%"
            : state.Error;
    const int status = state.Error.empty() ? 503 : 500;
    TSiteResponse response =
        html ? Reply(status, "text/html; charset=utf-8",
                     PageStart("Search", query.Text, state.Error.empty()) + "<p role=\"status\">" +
                         Escaped(message) + "</p></main></body></html>\n")
             : JsonReply(status, {{"error", message}, {"progress", state.Percent}});
    if (state.Error.empty()) {
      response.Headers.emplace_back("Retry-After", "1");
    }
    return response;
  }
  if (suggest) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& suggestion : state.Index->Suggest(query.Text, kSuggestions)) {
      search::TSearchHit page{suggestion.Path, "", suggestion.Title, "", 0};
      list.push_back(
          {{"title", suggestion.Title}, {"path", Utf8(suggestion.Path)}, {"url", PageUrl(page)}});
    }
    return JsonReply(200, {{"query", Utf8(query.Text)}, {"suggestions", list}});
  }
  const auto results = state.Index->Search(query.Text, query.Start, query.Limit);
  if (json) {
    return JsonReply(200, ResultsJson(results));
  }
  return Reply(200, "text/html; charset=utf-8", ResultsPage(query, results, state.Refusal));
}

}  // namespace tomelet::serve
