// The charset a text entry is sent with: UTF-8 named where the bytes are UTF-8, so a browser
// does not fall back to its locale's 8-bit guess, and nothing where the text names its own.
#pragma once

#include <string>
#include <string_view>

namespace tomelet::serve {

// Types a browser decodes as text: text/*, JavaScript, JSON and the XML family.
bool IsCharsetText(std::string_view mimeType);

// mimeType with "; charset=utf-8" when it is text, contents are valid UTF-8, and a page, style
// sheet or XML file does not name a charset of its own in its first 1024 bytes (a meta charset,
// an @charset rule, an XML encoding), which then decides; else mimeType as it is.
std::string ContentTypeFor(std::string_view mimeType, std::string_view contents);

}  // namespace tomelet::serve
