// Character references for text put into HTML or XML.
#pragma once

#include <string>
#include <string_view>

namespace tomelet {

// The text with "&", "<", ">", '"' and "'" written as character references, safe inside an
// element and inside a quoted attribute alike.
std::string HtmlEscaped(std::string_view text);

}  // namespace tomelet
