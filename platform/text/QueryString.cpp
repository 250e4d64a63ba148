#include "platform/text/QueryString.h"

#include "platform/text/PercentEscapes.h"

namespace tomelet {
namespace {

// Calls take(value) for each field named name until it answers false.
template <typename Take>
void ForEachValue(std::string_view query, std::string_view name, Take take) {
  while (!query.empty()) {
    const auto amp = query.find('&');
    const std::string_view field = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    const auto equals = field.find('=');
    if (field.substr(0, equals) != name) {
      continue;
    }
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : field.substr(equals + 1);
    if (!take(PercentDecoded(value, TPlusSign::Space, TBadEscape::Kept))) {
      return;
    }
  }
}

}  // namespace

std::optional<std::string> QueryValue(std::string_view query, std::string_view name) {
  std::optional<std::string> found;
  ForEachValue(query, name, [&](std::string value) {
    found = std::move(value);
    return false;
  });
  return found;
}

std::vector<std::string> QueryValues(std::string_view query, std::string_view name) {
  std::vector<std::string> values;
  ForEachValue(query, name, [&](std::string value) {
    values.push_back(std::move(value));
    return true;
  });
  return values;
}

}  // namespace tomelet
