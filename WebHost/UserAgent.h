// The user agent as the engine can send it: one header value of HTTP's user-agent form.
#pragma once

#include <string>
#include <string_view>

namespace tomelet {

// The options record's user agent made safe for the engine: each run of line breaks and other
// control characters between words becomes one space, and spaces and control characters at
// either end are dropped. What is then not of HTTP's user-agent form (products such as
// "Name/1.0" and comments in parentheses, in printable ASCII, one space or more between them)
// cannot be sent and gives the empty text, which keeps the engine's own user agent.
std::string EngineUserAgent(std::string_view recorded);

}  // namespace tomelet
