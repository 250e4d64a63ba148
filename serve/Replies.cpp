#include "serve/Replies.h"

#include "platform/text/HtmlEscapes.h"
#include "serve/EntryBodies.h"

namespace tomelet::serve {

TSiteResponse TextReply(int status, std::string_view contentType, std::string body) {
  TSiteResponse response;
  response.Status = status;
  response.Headers = {{"Content-Type", std::string(contentType)}};
  response.ContentLength = static_cast<std::int64_t>(body.size());
  response.Body = TextBody(std::move(body));
  return response;
}

std::string JsonText(const nlohmann::ordered_json& json) {
  return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

TSiteResponse JsonReply(int status, const nlohmann::ordered_json& json) {
  return TextReply(status, kJsonType, JsonText(json));
}

TSiteResponse StatusPage(int status, std::string_view title, std::string_view message,
                         std::string_view links) {
  std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>";
  page += title;
  page += "</title></head>\n<body><h1>";
  page += title;
  page += "</h1>\n<p>";
  page += HtmlEscaped(message);
  page += "</p>";
  page += links;
  page += "</body></html>\n";
  return TextReply(status, kHtmlType, std::move(page));
}

TSiteResponse Redirect(int status, std::string_view what, std::string location) {
  TSiteResponse response = StatusPage(status, status == 301 ? "Moved Permanently" : "Found",
                                      "The " + std::string(what) + " is " + location);
  response.Headers.emplace_back("Location", std::move(location));
  return response;
}

TByteRange RequestedRange(const TSiteRequest& request, std::int64_t size, std::string_view tag) {
  if (request.Range.empty() || (!request.IfRange.empty() && request.IfRange != tag)) {
    return {};
  }
  return ParseByteRange(request.Range, size);
}

TSiteResponse RangeNotSatisfiable(std::int64_t size) {
  TSiteResponse refusal = StatusPage(416, "Range Not Satisfiable", "The entry has fewer bytes.");
  refusal.Headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
  return refusal;
}

void MakePartial(TSiteResponse& response, const TByteRange& part, std::int64_t size) {
  response.Status = 206;
  response.Headers.emplace_back("Content-Range", "bytes " + std::to_string(part.First) + "-" +
                                                     std::to_string(part.First + part.Length - 1) +
                                                     "/" + std::to_string(size));
  response.ContentLength = part.Length;
}

}  // namespace tomelet::serve
