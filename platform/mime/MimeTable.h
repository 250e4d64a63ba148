// The MIME types of the common web file types by extension, shared by everything that answers
// for archive entries without a browser engine at hand.
#pragma once

#include <optional>
#include <string_view>

namespace tomelet {

// The type for the extension of a file name or archive path (folders separated by "/" or "\"),
// letter case ignored; nothing when the name has no extension or an unknown one.
std::optional<std::string_view> MimeTypeForFileName(std::string_view name);

}  // namespace tomelet
