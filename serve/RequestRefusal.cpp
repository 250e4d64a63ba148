#include "serve/RequestRefusal.h"

#include <boost/beast/http/error.hpp>
#include <boost/beast/http/field.hpp>

namespace tomelet::serve {

namespace {

namespace http = boost::beast::http;

constexpr TRefusal kBadRequest{400, "Bad Request", "The request is not well-formed HTTP."};
constexpr TRefusal kAmbiguousLength{
    400, "Bad Request",
    "The request gives its length in more than one way, or in a way the server does not read."};
constexpr TRefusal kNoHost{400, "Bad Request", "An HTTP/1.1 request must name exactly one Host."};
constexpr TRefusal kLengthRequired{411, "Length Required",
                                   "A request body must come with a Content-Length."};
constexpr TRefusal kBodyTooLarge{413, "Content Too Large",
                                 "The request body is larger than the server reads."};
constexpr TRefusal kTargetTooLong{414, "URI Too Long",
                                  "The request target is longer than the server reads."};
constexpr TRefusal kHeadersTooLarge{431, "Request Header Fields Too Large",
                                    "The request header is larger than the server reads."};
constexpr TRefusal kVersionNotSupported{505, "HTTP Version Not Supported",
                                        "The server speaks HTTP/1.0 and HTTP/1.1."};

// A version the parser does not read may still be a well-formed one ("HTTP/2.0"), which is
// answered as not supported rather than as malformed; a request line that ends in a bare line
// feed is malformed whatever its version.
bool WellFormedVersion(std::string_view unread) {
  std::string_view line = unread.substr(0, unread.find('\n'));
  if (line.size() < unread.size() && !line.ends_with('\r')) {
    return false;
  }
  if (line.ends_with('\r')) {
    line.remove_suffix(1);
  }
  const auto digit = [&](std::size_t fromEnd) {
    return line[line.size() - fromEnd] >= '0' && line[line.size() - fromEnd] <= '9';
  };
  return line.size() >= 9 && line.substr(line.size() - 9, 6) == " HTTP/" && digit(3) &&
         line[line.size() - 2] == '.' && digit(1);
}

}  // namespace

std::optional<TRefusal> RefusalOfReadError(boost::beast::error_code ec, bool startLineRead,
                                           std::string_view unread) {
  if (ec.category() != http::make_error_code(http::error::bad_method).category()) {
    return std::nullopt;
  }
  switch (static_cast<http::error>(ec.value())) {
    case http::error::end_of_stream:
    case http::error::partial_message:
      return std::nullopt;
    case http::error::header_limit:
      return startLineRead ? kHeadersTooLarge : kTargetTooLong;
    case http::error::bad_version:
      return WellFormedVersion(unread) ? kVersionNotSupported : kBadRequest;
    case http::error::body_limit:
      return kBodyTooLarge;
    case http::error::bad_content_length:
    case http::error::bad_transfer_encoding:
      return kAmbiguousLength;
    default:
      return kBadRequest;
  }
}

std::optional<TRefusal> RefusalOfRequest(const http::request<http::string_body>& request) {
  if (request.version() != 10 && request.version() != 11) {
    return kVersionNotSupported;
  }
  const auto encodings = request.count(http::field::transfer_encoding);
  const auto lengths = request.count(http::field::content_length);
  if (lengths > 1 || (encodings > 0 && (lengths > 0 || encodings > 1 || !request.chunked()))) {
    return kAmbiguousLength;
  }
  if (encodings > 0) {
    return kLengthRequired;
  }
  if (request.version() == 11 && request.count(http::field::host) != 1) {
    return kNoHost;
  }
  return std::nullopt;
}

}  // namespace tomelet::serve
