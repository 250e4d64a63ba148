// The fields of a form-encoded query string ("q=a+b&doc=x&doc=y"), the one reader of them for
// every page that takes a query: names as written, values with "+" read as a space and their
// escapes decoded (a malformed escape kept as it stands).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tomelet {

// The value of the first field named name; none without such a field. A field without "=" has
// an empty value.
std::optional<std::string> QueryValue(std::string_view query, std::string_view name);

// The values of every field named name, in their order (a repeatable field).
std::vector<std::string> QueryValues(std::string_view query, std::string_view name);

}  // namespace tomelet
