#include "search/ResultsJson.h"

#include <charconv>
#include <cmath>

#include "platform/text/Codepage.h"
#include "platform/text/ShownText.h"

namespace tomelet::search {
namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

// More digits than these only tell apart pages that rank the same anyway.
double RoundedScore(double score) {
  return std::round(score * 10000) / 10000;
}

}  // namespace

// Runs of bytes that need no escape are appended whole: snippets are mostly such text.
void AppendJsonEscaped(std::string& out, std::string_view text) {
  std::size_t plain = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && c != '"' && c != '\\') {
      continue;
    }
    out.append(text.substr(plain, at - plain));
    plain = at + 1;
    if (byte >= 0x20) {
      out.push_back('\\');
      out.push_back(c);
    } else {
      out.append("\\u00");
      out.push_back(kHexDigits[byte >> 4]);
      out.push_back(kHexDigits[byte & 0xF]);
    }
  }
  out.append(text.substr(plain));
}

// Text that is UTF-8 already, as nearly all is, is escaped as it stands, without a copy.
void AppendJsonText(std::string& out, std::string_view text) {
  out.push_back('"');
  if (IsValidUtf8(text)) {
    AppendJsonEscaped(out, text);
  } else {
    AppendJsonEscaped(out, DisplayText(text));
  }
  out.push_back('"');
}

void AppendHitFields(std::string& out, const TSearchHit& hit) {
  out.append("\"path\":");
  AppendJsonText(out, SlashSeparated(hit.Path));
  out.append(",\"anchor\":");
  AppendJsonText(out, hit.Anchor);
  out.append(",\"title\":");
  AppendJsonText(out, hit.Title);
  out.append(",\"snippet\":");
  AppendJsonText(out, hit.Snippet);
  out.append(",\"score\":");
  char digits[32];
  const double score = RoundedScore(hit.Score);
  const auto written = std::to_chars(digits, digits + sizeof digits, score);
  out.append(digits, written.ptr);
  // A whole number still reads as a fraction, as JSON writers commonly give it.
  if (std::string_view(digits, written.ptr).find_first_of(".e") == std::string_view::npos) {
    out.append(".0");
  }
}

std::string ResultsJson(const TSearchResults& results) {
  std::string out = "{\"version\":" + std::to_string(kResultsJsonVersion) + ",\"query\":";
  AppendJsonText(out, results.Query);
  out.append(",\"total\":" + std::to_string(results.Total) + ",\"results\":[");
  for (const auto& hit : results.Hits) {
    out.append(&hit == results.Hits.data() ? "{" : ",{");
    AppendHitFields(out, hit);
    out.push_back('}');
  }
  out.append("]}");
  return out;
}

}  // namespace tomelet::search
