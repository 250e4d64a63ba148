#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "tests/serve/serve_fixture.h"

namespace tomelet::serve::testing {
namespace {

class DeflatePassthroughTest : public ServeTest {
 protected:
  DeflatePassthroughTest() {
    // A record whose CompressedSize is wrong: the viewer still reads it, but its stream cannot
    // be handed out as a reply of that length.
    const std::string padded = Deflated(oddText_) + std::string(7, '\0');
    testDocument_.RawEntry({.FileName = "oddsize.htm",
                            .OriginalSize = static_cast<std::int64_t>(oddText_.size()),
                            .CompressedSize = static_cast<std::int64_t>(padded.size()),
                            .CRC = Crc(oddText_)},
                           padded);
    Serve();
  }

  std::string StoredStream(std::string_view name) const {
    const auto block = archive_->DeflatedBlock(archive_->IndexOf(name));
    std::string bytes(static_cast<std::size_t>(block.value().Length), '\0');
    archive_->ReadAt(block->FileOffset, std::as_writable_bytes(std::span(bytes)));
    return bytes;
  }

  const std::string oddText_ = PageText("odd", 50);
};

TEST_F(DeflatePassthroughTest, PlainClientGetsInflatedBytes) {
  const auto result = Get("/index.htm");
  ASSERT_TRUE(result);
  EXPECT_TRUE(result->get_header_value("Content-Encoding").empty());
  EXPECT_EQ(result->body, testDocument_.Contents("index.htm"));
}

TEST_F(DeflatePassthroughTest, DeflateClientGetsTheStoredStreamUntouched) {
  const auto result = Get("/index.htm", {{"Accept-Encoding", "gzip, deflate"}});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->get_header_value("Content-Encoding"), "deflate");
  EXPECT_EQ(result->get_header_value("Vary"), "Accept-Encoding");
  EXPECT_EQ(result->body, StoredStream("index.htm"));
  EXPECT_EQ(Inflate(result->body), testDocument_.Contents("index.htm"));
}

TEST_F(DeflatePassthroughTest, StoredEntriesAreNeverEncoded) {
  const auto result = Get("/images/photo.png", {{"Accept-Encoding", "deflate"}});
  ASSERT_TRUE(result);
  EXPECT_TRUE(result->get_header_value("Content-Encoding").empty());
  EXPECT_EQ(result->body, testDocument_.Contents("images\\photo.png"));
}

TEST_F(DeflatePassthroughTest, StreamThatDoesNotEndAtItsSizeIsInflatedInstead) {
  for (int attempt = 0; attempt < 2; ++attempt) {  // the second answer comes from the kept verdict
    const auto result = Get("/oddsize.htm", {{"Accept-Encoding", "deflate"}});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_TRUE(result->get_header_value("Content-Encoding").empty());
    EXPECT_EQ(result->body, oddText_);
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
  EXPECT_EQ(body, testDocument_.Contents("index.htm"));
}

}  // namespace
}  // namespace tomelet::serve::testing
