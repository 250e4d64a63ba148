#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "tests/tools/tomelet/serve/serve_fixture.h"

namespace tomelet::serve::testing {
namespace {

class DeflatePassthroughTest : public ServeTest {
 protected:
  DeflatePassthroughTest() {
    // A record whose CompressedSize is wrong: the viewer still reads it, but its stream cannot
    // be handed out as a reply of that length.
    TArchiveEntry entry;
    entry.FileName = "oddsize.htm";
    const std::string text = PageText("odd", 50);
    const std::string stream = ZlibStream(text);
    entry.OriginalSize = static_cast<std::int64_t>(text.size());
    entry.CompressedSize = static_cast<std::int64_t>(stream.size()) + 7;
    entry.Method = kMethodDeflated;
    entry.CRC = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
    const std::string padded = stream + std::string(7, '\0');
    writer_.AddRawEntry(entry, std::as_bytes(std::span(padded)));
    contents_.emplace_back("oddsize.htm", text);
    Serve();
  }

  static std::string ZlibStream(const std::string& text) {
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size,
             reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()));
    out.resize(size);
    return out;
  }

  std::string StoredStream(std::string_view name) const {
    const TStoredBlock block = archive_->StoredBlock(archive_->IndexOf(name));
    std::string bytes(static_cast<std::size_t>(block.Length), '\0');
    archive_->ReadAt(block.FileOffset, std::as_writable_bytes(std::span(bytes)));
    return bytes;
  }
};

TEST_F(DeflatePassthroughTest, PlainClientGetsInflatedBytes) {
  const auto result = Get("/index.htm");
  ASSERT_TRUE(result);
  EXPECT_TRUE(result->get_header_value("Content-Encoding").empty());
  EXPECT_EQ(result->body, Contents("index.htm"));
}

TEST_F(DeflatePassthroughTest, DeflateClientGetsTheStoredStreamUntouched) {
  const auto result = Get("/index.htm", {{"Accept-Encoding", "gzip, deflate"}});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->get_header_value("Content-Encoding"), "deflate");
  EXPECT_EQ(result->get_header_value("Vary"), "Accept-Encoding");
  EXPECT_EQ(result->body, StoredStream("index.htm"));
  EXPECT_EQ(Inflate(result->body), Contents("index.htm"));
}

TEST_F(DeflatePassthroughTest, StoredEntriesAreNeverEncoded) {
  const auto result = Get("/images/photo.png", {{"Accept-Encoding", "deflate"}});
  ASSERT_TRUE(result);
  EXPECT_TRUE(result->get_header_value("Content-Encoding").empty());
  EXPECT_EQ(result->body, Contents("images\\photo.png"));
}

TEST_F(DeflatePassthroughTest, StreamThatDoesNotEndAtItsSizeIsInflatedInstead) {
  for (int attempt = 0; attempt < 2; ++attempt) {  // the second answer comes from the kept verdict
    const auto result = Get("/oddsize.htm", {{"Accept-Encoding", "deflate"}});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_TRUE(result->get_header_value("Content-Encoding").empty());
    EXPECT_EQ(result->body, Contents("oddsize.htm"));
  }
}

TEST_F(DeflatePassthroughTest, CurlCompressedReceivesTheSameBytes) {
  const auto output = folder_.Path() / "curl.out";
  const std::string command = "curl --silent --compressed --output '" + output.string() +
                              "' http://127.0.0.1:" + std::to_string(server_->Port()) +
                              "/index.htm";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
  std::ifstream file(output, std::ios::binary);
  const std::string body{std::istreambuf_iterator<char>(file), {}};
  EXPECT_EQ(body, Contents("index.htm"));
}

}  // namespace
}  // namespace tomelet::serve::testing
