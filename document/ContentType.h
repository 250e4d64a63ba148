// The MIME type of a document's entry, one rule for the viewer and `tomelet serve`: the name's
// extension when it is known, else the entry's first bytes.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace tomelet {

// How many of an entry's first bytes SniffContentType looks at.
inline constexpr std::size_t kSniffedBytes = 512;

// The type the bytes show: pages (markup after any blank space), pictures, fonts and common
// archives by their signatures, other text as text/plain, else application/octet-stream. An empty
// entry is an empty page, the likely intent of a name without extension.
std::string_view SniffContentType(std::span<const std::byte> head);

// The type for the extension of the name (a URL's query and fragment ignored), else sniffed from
// head; never empty.
std::string ContentTypeFor(std::string_view nameOrUrl, std::span<const std::byte> head);

}  // namespace tomelet
