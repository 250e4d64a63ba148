// The scripts and style sheets the viewer puts into its pages: files of WebHost/page/, compiled
// into the program as resources and loaded by name.
#pragma once

#include <string>
#include <string_view>

namespace tomelet {

// The script world of the viewer's own scripts on a page, apart from the page's scripts.
inline constexpr const char* kViewerWorld = "tomelet";

// The text of the page resource name, such as "close.js". Throws std::logic_error when the
// program was built without it.
std::string PageResource(std::string_view name);

}  // namespace tomelet
