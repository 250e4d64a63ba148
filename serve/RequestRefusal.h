// What a request that must not be served is answered with, before its connection closes:
// malformed or oversized requests, versions other than HTTP/1.x, and requests whose framing two
// parties could read differently (the ground of request smuggling).
#pragma once

#include <boost/beast/core/error.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <optional>
#include <string_view>

namespace tomelet::serve {

struct TRefusal {
  int Status;
  std::string_view Title;
  std::string_view Message;
};

// Requests are read with these limits.
inline constexpr std::size_t kRequestHeaderLimit = 8192;
inline constexpr std::uint64_t kRequestBodyLimit = 65536;

// The answer to a request the parser gave up on; none when the client closed or went quiet,
// since there is then nobody to answer. startLineRead tells whether the parser had read the
// request line; unread holds the bytes received but not parsed.
std::optional<TRefusal> RefusalOfReadError(boost::beast::error_code ec, bool startLineRead,
                                           std::string_view unread);

// The answer to a parsed request that must not be served; none when it may be.
std::optional<TRefusal> RefusalOfRequest(
    const boost::beast::http::request<boost::beast::http::string_body>& request);

}  // namespace tomelet::serve
