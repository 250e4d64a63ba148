// The MIME types of file names by extension, shared by everything that answers for archive
// entries: the common web file types first, then the system's own table.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tomelet {

inline constexpr const char* kSystemMimeTypesFile = "/etc/mime.types";

// Lower-case extension -> type.
using TMimeTypesByExtension = std::unordered_map<std::string, std::string>;

// The table of a file in the format of /etc/mime.types ("type ext ext ...", "#" comments); empty
// when the file cannot be read.
TMimeTypesByExtension ReadMimeTypesFile(const std::string& path);

// The type for the extension of a file name or archive path (folders separated by "/" or "\"),
// letter case ignored: from the web types every document uses, else from the system's table;
// nothing when the name has no extension or an unknown one.
std::optional<std::string_view> MimeTypeForFileName(std::string_view name);

}  // namespace tomelet
