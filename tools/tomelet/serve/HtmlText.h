// Text placed into the pages the server writes itself.
#pragma once

#include <string>
#include <string_view>

namespace tomelet::serve {

// The text with "&", "<", ">", '"' and "'" written as character references.
std::string HtmlEscaped(std::string_view text);

}  // namespace tomelet::serve
