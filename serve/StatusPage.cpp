#include "serve/StatusPage.h"

#include <string>

#include "platform/text/HtmlEscapes.h"
#include "search/ResultsPage.h"
#include "serve/EntryBodies.h"

namespace tomelet::serve {

TSiteResponse StatusPage(int status, std::string_view title, std::string_view message,
                         std::string_view links) {
  TSiteResponse response;
  response.Status = status;
  std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>";
  page += title;
  page += "</title></head>\n<body><h1>";
  page += title;
  page += "</h1>\n<p>";
  page += HtmlEscaped(message);
  page += "</p>";
  page += links;
  page += "</body></html>\n";
  response.Headers = {{"Content-Type", "text/html; charset=utf-8"}};
  response.ContentLength = static_cast<std::int64_t>(page.size());
  response.Body = TextBody(std::move(page));
  return response;
}

}  // namespace tomelet::serve
