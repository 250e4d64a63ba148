// Parses arbitrary bytes as an HTTP request the way `tomelet serve` does and answers it from a
// small document, reading every reply body; the Range header reaches the range parser, whose
// answer must lie inside the entry. The first eight bytes also serve as a body size for a
// direct check of the range parser with the rest as the header.
#include <unistd.h>

#include <boost/beast/http.hpp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/Document.h"
#include "serve/DocumentSite.h"
#include "serve/HttpRange.h"

namespace {

namespace http = boost::beast::http;

std::string Page(std::size_t size) {
  std::string text;
  while (text.size() < size) {
    text += "<p>line " + std::to_string(text.size() % 1000) + "</p>\n";
  }
  return text.substr(0, size);
}

const tomelet::serve::TDocumentSite& Site() {
  static const auto site = [] {
    std::string path = "/tmp/fuzz-http-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) {
      std::abort();
    }
    ::close(fd);
    tomelet::TZLBArchiveWriter writer;
    writer.AddEntry("index.htm", Page(200000));
    writer.AddEntry("a b\\c+d.htm", Page(300));
    writer.AddEntry("raw.bin", Page(70000), tomelet::fcNone);
    writer.AddEntry("-logo-", "logo");
    writer.WriteFile(path);
    auto archive = tomelet::OpenDocument(path);
    return std::make_unique<tomelet::serve::TDocumentSite>(archive, "index.htm");
  }();
  return *site;
}

std::string_view View(boost::beast::string_view text) {
  return {text.data(), text.size()};
}

void CheckRangeParser(const std::uint8_t* data, std::size_t size) {
  if (size < 8) {
    return;
  }
  std::int64_t bodySize = 0;
  std::memcpy(&bodySize, data, 8);
  bodySize &= (std::int64_t{1} << 40) - 1;
  const std::string_view header(reinterpret_cast<const char*>(data + 8), size - 8);
  const auto range = tomelet::serve::ParseByteRange(header, bodySize);
  if (range.Verdict == tomelet::serve::TByteRange::Kind::Part &&
      (range.First < 0 || range.Length <= 0 || range.First + range.Length > bodySize)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckRangeParser(data, size);
  http::request_parser<http::string_body> parser;
  parser.body_limit(65536);
  parser.eager(true);
  boost::beast::error_code ec;
  parser.put(boost::asio::buffer(data, size), ec);
  if (ec || !parser.is_done()) {
    return 0;
  }
  const auto& request = parser.get();
  tomelet::serve::TSiteRequest siteRequest;
  siteRequest.Method = View(request.method_string());
  siteRequest.Target = View(request.target());
  siteRequest.AcceptEncoding = View(request[http::field::accept_encoding]);
  siteRequest.IfNoneMatch = View(request[http::field::if_none_match]);
  siteRequest.Range = View(request[http::field::range]);
  siteRequest.IfRange = View(request[http::field::if_range]);
  const auto response = Site().Respond(siteRequest);
  std::int64_t sent = 0;
  while (response.Body) {
    const auto piece = response.Body->Next();
    if (piece.empty()) {
      break;
    }
    sent += static_cast<std::int64_t>(piece.size());
  }
  if (response.Body && sent != response.ContentLength) {
    std::abort();
  }
  return 0;
}
