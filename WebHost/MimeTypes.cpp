#include "WebHost/MimeTypes.h"

#include "document/ContentType.h"
#include "platform/mime/MimeTable.h"

namespace tomelet {

std::optional<std::string_view> MimeTypeForName(std::string_view nameOrUrl) {
  return MimeTypeForFileName(nameOrUrl.substr(0, nameOrUrl.find_first_of("?#")));
}

// The document's own rule, so that the viewer and `tomelet serve` give an entry the same type.
std::string MimeTypeFor(std::string_view nameOrUrl, std::span<const std::byte> content) {
  return ContentTypeFor(nameOrUrl, content);
}

}  // namespace tomelet
