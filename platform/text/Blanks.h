// Spaces and tabs around a value typed by a person (a header's value, a line of a password file):
// the one rule for cutting them off.
#pragma once

#include <string_view>

namespace tomelet {

constexpr std::string_view TrimmedBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace tomelet
