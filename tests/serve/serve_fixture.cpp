#include "tests/serve/serve_fixture.h"

#include <cstdlib>

namespace tomelet::serve::testing {

ServeTest::ServeTest() : document_(folder_ / "doc.tlt") {
  // Indexes built for a search go to the test's own cache, never the user's.
  ::setenv("XDG_CACHE_HOME", (folder_.Path() / "cache").c_str(), 1);
  testDocument_.Entry("index.htm", PageText("Start", 200))
      .Entry("style.css", "body { color: #333; }\n" + PageText("css", 20))
      .Stored("images\\photo.png", NoiseBytes(3000, 1))
      .StartPageOption("index.htm");
}

ServeTest::~ServeTest() {
  if (server_) {
    server_->Stop();
  }
}

void ServeTest::Serve() {
  testDocument_.Logo(kLogo).WriteTo(document_);
  archive_ = OpenDocument(document_);
  const TProjectOptions& options = testDocument_.OptionsRecord();
  rules_.Password = options.AccessPassword();
  site_ =
      std::make_unique<TDocumentSite>(archive_, options.StartPageOption(), memoryBudget_, rules_);
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

nlohmann::json ServeTest::GetJson(const std::string& target) const {
  const auto result = Get(target);
  EXPECT_TRUE(result);
  EXPECT_EQ(result->status, 200) << target << ": " << result->body;
  EXPECT_EQ(result->get_header_value("Content-Type"), "application/json");
  return nlohmann::json::parse(result->body);
}

}  // namespace tomelet::serve::testing
