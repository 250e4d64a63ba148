// The replies the server writes itself rather than reads from a document: text and JSON bodies,
// the small HTML page that goes with a status (errors, redirects, refusals, the transport's own
// answers to malformed requests), and redirects.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "serve/DocumentSite.h"
#include "serve/HttpRange.h"

namespace tomelet::serve {

inline constexpr std::string_view kHtmlType = "text/html; charset=utf-8";
inline constexpr std::string_view kJsonType = "application/json";

TSiteResponse TextReply(int status, std::string_view contentType, std::string body);
// The object on one line and a line break, text that is not UTF-8 replaced rather than refused.
TSiteResponse JsonReply(int status, const nlohmann::ordered_json& json);
// The same text as JsonReply's body, for callers that keep it.
std::string JsonText(const nlohmann::ordered_json& json);

// message is plain text, escaped here; links is HTML added below it as it stands.
TSiteResponse StatusPage(int status, std::string_view title, std::string_view message,
                         std::string_view links = {});
// 301 or 302 to location, with a page saying "The <what> is <location>" for clients that do not
// follow.
TSiteResponse Redirect(int status, std::string_view what, std::string location);

// The part of a body of size bytes that the request's Range asks for: the whole body when it
// asks none, or when its If-Range names another tag than the body's.
TByteRange RequestedRange(const TSiteRequest& request, std::int64_t size, std::string_view tag);
// 416, with the size of the body in Content-Range.
TSiteResponse RangeNotSatisfiable(std::int64_t size);
// Makes response the 206 of the part: its status, Content-Range and length; the body is the
// caller's.
void MakePartial(TSiteResponse& response, const TByteRange& part, std::int64_t size);

}  // namespace tomelet::serve
