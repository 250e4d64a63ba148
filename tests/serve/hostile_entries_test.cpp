// Entries a hostile file claims: sizes never turn into allocations or bytes from outside the
// entry, and encrypted entries are refused, by the document and by the server alike.
#include "tests/serve/serve_fixture.h"

namespace tomelet::serve::testing {
namespace {

class HostileEntriesTest : public ServeTest {
 protected:
  void AddClaim(const std::string& name, std::uint8_t method, std::int64_t originalSize,
                const std::string& data) {
    testDocument_.RawEntry(
        {.FileName = name,
         .OriginalSize = originalSize,
         .CompressedSize = method == kMethodDeflated ? static_cast<std::int64_t>(data.size()) : 0,
         .Method = method},
        data);
  }
  int Index(std::string_view name) const { return archive_->IndexOf(name); }
};

TEST_F(HostileEntriesTest, SizesBeyondTheDataAreRefusedNotAllocated) {
  AddClaim("stored.bin", kMethodStored, std::int64_t{1} << 40, "tiny");
  AddClaim("deflated.htm", kMethodDeflated, std::int64_t{1} << 40,
           "\x78\x9c\x03\x00\x00\x00\x00\x01");
  Serve();
  EXPECT_THROW(archive_->Contents(Index("stored.bin")), EZLBArchiveError);
  EXPECT_THROW(archive_->Contents(Index("deflated.htm")), EZLBArchiveError);
  EXPECT_FALSE(archive_->DeflatedBlock(Index("deflated.htm")));
  EXPECT_EQ(Get("/stored.bin")->status, 500);
  EXPECT_EQ(Get("/deflated.htm")->status, 500);
  EXPECT_EQ(Get("/index.htm")->status, 200);
}

TEST_F(HostileEntriesTest, EncryptedEntriesAreNotServed) {
  AddClaim("secret.htm", kMethodStoredEncrypted, 6, "cipher");
  Serve();
  const auto result = Get("/secret.htm");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 500);
  EXPECT_NE(result->body.find("No password given for encrypted file"), std::string::npos);
  EXPECT_EQ(Get("/secret.htm", {{"Accept-Encoding", "deflate"}})->status, 500);
}

}  // namespace
}  // namespace tomelet::serve::testing
