#include "serve/HttpRange.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>

#include "platform/text/AsciiCase.h"
#include "platform/text/Blanks.h"

namespace tomelet::serve {

namespace {

std::optional<std::int64_t> ParseCount(std::string_view digits) {
  if (digits.empty()) {
    return std::nullopt;
  }
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (end != digits.data() + digits.size() || value < 0) {
    return std::nullopt;
  }
  // A count past any file ("bytes=0-99999999999999999999", as clients ask for "the rest") is
  // as good as the largest one.
  if (error == std::errc::result_out_of_range) {
    return std::numeric_limits<std::int64_t>::max();
  }
  return error == std::errc() ? std::optional(value) : std::nullopt;
}

// Splits a list header at commas and calls visit with each trimmed, non-empty element until it
// answers true.
template <typename Visit>
bool AnyElement(std::string_view list, Visit visit) {
  while (!list.empty()) {
    const auto comma = list.find(',');
    const auto element = TrimmedBlanks(list.substr(0, comma));
    if (!element.empty() && visit(element)) {
      return true;
    }
    if (comma == std::string_view::npos) {
      break;
    }
    list.remove_prefix(comma + 1);
  }
  return false;
}

bool HasPositiveQuality(std::string_view parameters) {
  const auto q = parameters.find("q=");
  if (q == std::string_view::npos) {
    return true;
  }
  const auto value = TrimmedBlanks(parameters.substr(q + 2));
  return value.find_first_of("123456789") != std::string_view::npos && value.front() != '-';
}

}  // namespace

TByteRange ParseByteRange(std::string_view header, std::int64_t size) {
  constexpr std::string_view kUnit = "bytes=";
  header = TrimmedBlanks(header);
  if (header.size() <= kUnit.size() || !EqualsFoldedAscii(header.substr(0, kUnit.size()), kUnit) ||
      header.find(',') != std::string_view::npos) {
    return {};
  }
  const auto spec = TrimmedBlanks(header.substr(kUnit.size()));
  const auto dash = spec.find('-');
  if (dash == std::string_view::npos) {
    return {};
  }
  const auto firstText = TrimmedBlanks(spec.substr(0, dash));
  const auto lastText = TrimmedBlanks(spec.substr(dash + 1));
  const auto first = ParseCount(firstText);
  const auto last = ParseCount(lastText);
  if ((!first && !firstText.empty()) || (!last && !lastText.empty())) {
    return {};
  }
  const TByteRange unsatisfiable{TByteRange::Kind::Unsatisfiable};
  if (!first) {
    if (!last) {
      return {};
    }
    if (*last == 0 || size == 0) {
      return unsatisfiable;
    }
    const std::int64_t length = std::min(*last, size);
    return {TByteRange::Kind::Part, size - length, length};
  }
  if (last && *last < *first) {
    return {};
  }
  if (*first >= size) {
    return unsatisfiable;
  }
  const std::int64_t end = last ? std::min(*last, size - 1) : size - 1;
  return {TByteRange::Kind::Part, *first, end - *first + 1};
}

bool AcceptsDeflate(std::string_view acceptEncoding) {
  std::optional<bool> named;
  bool wildcard = false;
  AnyElement(acceptEncoding, [&](std::string_view element) {
    const auto semicolon = element.find(';');
    const auto coding = TrimmedBlanks(element.substr(0, semicolon));
    const bool positive =
        semicolon == std::string_view::npos || HasPositiveQuality(element.substr(semicolon + 1));
    if (EqualsFoldedAscii(coding, "deflate")) {
      named = positive;
    } else if (coding == "*") {
      wildcard = positive;
    }
    return false;
  });
  return named.value_or(wildcard);
}

bool MatchesEntityTag(std::string_view ifNoneMatch, std::string_view tag) {
  const auto opaque = [](std::string_view value) {
    return value.starts_with("W/") ? value.substr(2) : value;
  };
  return AnyElement(ifNoneMatch, [&](std::string_view element) {
    return element == "*" || opaque(element) == opaque(tag);
  });
}

}  // namespace tomelet::serve
