// The content type of a document's entry, one rule for the viewer and `tomelet serve`: the
// name's extension when it is known, else the entry's first bytes; and for text, UTF-8 named
// where the bytes are UTF-8, so a browser does not fall back to its locale's 8-bit guess.
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

// Types a browser decodes as text: text/*, JavaScript, JSON and the XML family.
bool IsCharsetText(std::string_view mimeType);

// mimeType with "; charset=utf-8" when it is text, the whole contents are valid UTF-8, and a page,
// style sheet or XML file does not name a charset of its own in its first 1024 bytes (a meta
// charset, an @charset rule, an XML encoding), which then decides; else mimeType as it is.
std::string WithCharset(std::string_view mimeType, std::span<const std::byte> contents);

// ContentTypeFor, then WithCharset: the type of an entry whose whole contents are at hand.
std::string ContentTypeWithCharset(std::string_view nameOrUrl, std::span<const std::byte> contents);

}  // namespace tomelet
