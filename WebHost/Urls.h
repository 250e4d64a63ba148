// What the host asks of a URL before it hands it to the engine.
#pragma once

#include <string>
#include <string_view>

namespace tomelet {

// A URL the engine can take: an absolute URL, read leniently as pages write them.
bool IsNavigableUrl(std::string_view url);

// A URL of the document's own scheme, "tome:", in any letter case.
bool IsDocumentUrl(std::string_view url);

// A URL of a scheme the engine shows itself; any other (mailto:, tel:, ...) is the desktop's.
bool IsShownByEngine(std::string_view url);

// The file name an address ends in, as the reader knows it from the document: the last segment
// without query and anchor, its escapes decoded. Empty for an address ending in "/".
std::string AddressName(std::string_view url);

}  // namespace tomelet
