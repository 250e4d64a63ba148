// The MIME type the engine is told for each reply of the "tome" scheme: the engine needs one,
// or it guesses from the extension alone and offers extension-less pages as downloads.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tomelet {

// The type for a file name's extension, from the table of common web types; the name
// may be a whole URL, whose query and fragment are ignored.
std::optional<std::string_view> MimeTypeForName(std::string_view nameOrUrl);

// The type from the name when the table knows it, else guessed from the content; never empty.
std::string MimeTypeFor(std::string_view nameOrUrl, std::span<const std::byte> content);

}  // namespace tomelet
