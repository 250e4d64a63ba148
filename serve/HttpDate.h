// Dates as HTTP writes them ("Sun, 06 Nov 1994 08:49:37 GMT"), for Date, Last-Modified and the
// If-Modified-Since a client sends back.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace tomelet::serve {

// The preferred form, in GMT.
std::string FormatHttpDate(std::time_t time);

// The current second in the preferred form; formatted once per second and thread.
const std::string& CurrentHttpDate();

// Reads the preferred form and the two obsolete ones a recipient must still accept
// ("Sunday, 06-Nov-94 08:49:37 GMT" and "Sun Nov  6 08:49:37 1994"); none for anything else.
std::optional<std::time_t> ParseHttpDate(std::string_view text);

// Whether an If-Modified-Since value lets a reply last modified at lastModified be answered
// 304: a valid date no earlier than that time. An unreadable value asks for the full reply.
bool UnmodifiedSince(std::string_view ifModifiedSince, std::time_t lastModified);

}  // namespace tomelet::serve
