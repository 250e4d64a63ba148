// Text that reaches a person's terminal or page: names from a document may carry control
// characters that would move the cursor, retitle the terminal or forge a line of output.
#pragma once

#include <string>
#include <string_view>

namespace tomelet {

// Valid UTF-8 with every control character written out: "\n", "\r", "\t", "\\xHH" for the other
// C0 characters and DEL, "\\u0080" to "\\u009f" for the C1 characters; every other character
// stays as it is.
std::string EscapeControlCharacters(std::string_view utf8);

// A name for display: DisplayText (Windows-1252 read where the bytes are not UTF-8), then its
// control characters escaped. JSON output keeps the exact name instead.
std::string ShownName(std::string_view name);

// An archive path with "/" between its folders, as paths read on Linux.
std::string SlashSeparated(std::string_view archivePath);

// An archive path for a person: SlashSeparated, then ShownName. JSON keeps the exact path instead.
std::string ShownPath(std::string_view archivePath);

}  // namespace tomelet
