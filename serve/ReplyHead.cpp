#include "serve/ReplyHead.h"

#include <boost/beast/http/status.hpp>
#include <charconv>
#include <string_view>

#include "serve/DocumentSite.h"
#include "serve/HttpDate.h"

namespace tomelet::serve {

namespace {

void AppendField(std::string& out, std::string_view name, std::string_view value) {
  out += name;
  out += ": ";
  out += value;
  out += "\r\n";
}

void AppendNumber(std::string& out, std::int64_t value) {
  char digits[24];
  const char* const end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, static_cast<std::size_t>(end - digits));
}

}  // namespace

void WriteReplyHead(std::string& out, const TSiteResponse& reply, unsigned version,
                    bool keepAlive) {
  const auto reason =
      boost::beast::http::obsolete_reason(static_cast<boost::beast::http::status>(reply.Status));
  out.assign(version == 10 ? "HTTP/1.0 " : "HTTP/1.1 ");
  AppendNumber(out, reply.Status);
  out += ' ';
  out.append(reason.data(), reason.size());
  out += "\r\n";
  for (const auto& [name, value] : reply.Headers) {
    AppendField(out, name, value);
  }
  AppendField(out, "Server", "tomelet");
  AppendField(out, "Date", CurrentHttpDate());
  // The transport's own refusals say nothing of how long they hold; no cache keeps them.
  if (reply.Header("Cache-Control").empty()) {
    AppendField(out, "Cache-Control", "no-store");
  }
  if (reply.Status != 304) {
    out += "Content-Length: ";
    AppendNumber(out, reply.ContentLength);
    out += "\r\n";
  }
  if (version == 10 && keepAlive) {
    AppendField(out, "Connection", "keep-alive");
  } else if (version != 10 && !keepAlive) {
    AppendField(out, "Connection", "close");
  }
  out += "\r\n";
}

}  // namespace tomelet::serve
