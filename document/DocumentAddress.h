// Addresses of a document's entries: the "tome" scheme, the prefix "tome://inpack/" and the
// mapping between an address and an archive path that the viewer and `tomelet serve` share.
#pragma once

#include <string>
#include <string_view>

namespace tomelet {

inline constexpr std::string_view kDocumentScheme = "tome";
inline constexpr std::string_view kDocumentUrlPrefix = "tome://inpack/";
// The viewer's own search results, answered by the viewer and never mapped to an entry.
inline constexpr std::string_view kSearchPagesUrl = "tome://search/";

// Whether url begins with the document prefix, ASCII letter case ignored.
bool HasDocumentPrefix(std::string_view url);

// "+" becomes a space and "%XY" one byte, as the protocol handler decodes: malformed escapes
// still give some byte (TBadEscape::ReadAnyway); a "%" without two following characters stays "%".
std::string UrlDecode(std::string_view text);
// Drops the 14-character prefix, decodes, turns "/" into "\" and cuts at the first "?".
std::string UrlToArchivePath(std::string_view url);
// The same mapping for the part of an address after the prefix, as an HTTP path carries it
// without its leading "/".
std::string RelativeAddressToArchivePath(std::string_view relative);

// kDocumentUrlPrefix followed by the text after the last '\' or ':' of the start page.
std::string StartUrl(std::string_view startPageOption);
// The archive path of the entry StartUrl leads to. The search index takes its language from this
// page and its cache name from this path, so every front end must name it alike.
std::string StartPageArchivePath(std::string_view startPageOption);

}  // namespace tomelet
