#include "tests/tools/tomelet/serve/serve_fixture.h"

#include <zlib.h>

#include <cstdlib>
#include <random>
#include <stdexcept>

namespace tomelet::serve::testing {

std::string PageText(std::string_view title, std::size_t repeat) {
  std::string page =
      "<!DOCTYPE html><html><head><title>" + std::string(title) + "</title></head><body>\n";
  for (std::size_t i = 0; i < repeat; ++i) {
    page += "<p>Line " + std::to_string(i) + " of " + std::string(title) + ".</p>\n";
  }
  return page + "</body></html>\n";
}

std::string NoiseBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    c = static_cast<char>(random() & 0xFF);
  }
  return bytes;
}

std::string Inflate(std::string_view zlibStream) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) {
    throw std::runtime_error("inflateInit");
  }
  std::string out;
  std::string piece(65536, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zlibStream.data()));
  stream.avail_in = static_cast<uInt>(zlibStream.size());
  int code = Z_OK;
  while (code == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(piece.data());
    stream.avail_out = static_cast<uInt>(piece.size());
    code = inflate(&stream, Z_NO_FLUSH);
    out.append(piece.data(), piece.size() - stream.avail_out);
  }
  inflateEnd(&stream);
  if (code != Z_STREAM_END) {
    throw std::runtime_error("not a complete zlib stream");
  }
  return out;
}

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tomelet-serve-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp");
  }
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ServeTest::ServeTest() : document_(folder_.Path() / "doc.tlt") {
  AddEntry("index.htm", PageText("Start", 200));
  AddEntry("style.css", "body { color: #333; }\n" + PageText("css", 20));
  AddEntry("images\\photo.png", NoiseBytes(3000, 1), fcNone);
  SetOptions("index.htm");
}

ServeTest::~ServeTest() {
  if (server_) {
    server_->Stop();
  }
}

void ServeTest::AddEntry(std::string_view path, std::string_view contents,
                         TFileCompressionLevel level) {
  writer_.AddEntry(path, contents, level);
  contents_.emplace_back(path, contents);
}

void ServeTest::SetOptions(std::string_view startPage, std::string_view password) {
  options_ = TProjectOptions{};
  options_.SetShortStringAt(option_offset::StartPage, startPage);
  options_.SetShortStringAt(option_offset::AccessPassword, password);
}

void ServeTest::Serve() {
  writer_.AddEntry("-config-", options_.Bytes());
  writer_.AddEntry("-logo-", kLogo, fcNone);
  writer_.WriteFile(document_.string());
  archive_ = OpenDocument(document_);
  rules_.Password = options_.AccessPassword();
  site_ = std::make_unique<TDocumentSite>(archive_, options_.StartPage(), memoryBudget_, rules_);
  server_ = std::make_unique<TDocumentServer>(*site_, settings_);
  server_->Start();
}

httplib::Client ServeTest::Client() const {
  httplib::Client client("127.0.0.1", server_->Port());
  client.set_decompress(false);
  client.set_keep_alive(true);
  client.set_url_encode(false);
  return client;
}

httplib::Result ServeTest::Get(const std::string& target, const httplib::Headers& headers) const {
  return Client().Get(target, headers);
}

std::string ServeTest::Contents(std::string_view archivePath) const {
  for (const auto& [path, contents] : contents_) {
    if (path == archivePath) {
      return contents;
    }
  }
  throw std::invalid_argument("no such fixture entry");
}

}  // namespace tomelet::serve::testing
