#include <fstream>
#include <thread>

#include "tests/serve/serve_fixture.h"

namespace tomelet::serve::testing {
namespace {

class ConcurrentClientsTest : public ServeTest {
 protected:
  ConcurrentClientsTest() {
    for (int i = 0; i < 12; ++i) {
      testDocument_.Entry("page" + std::to_string(i) + ".htm",
                          PageText("page " + std::to_string(i), 40 + i * 30));
    }
    testDocument_.Stored("large.bin", NoiseBytes(400000, 3));
    Serve();
  }
};

TEST_F(ConcurrentClientsTest, EveryClientGetsExactlyTheEntryItAskedFor) {
  constexpr int kThreads = 8;
  constexpr int kRequests = 60;
  std::vector<std::thread> clients;
  std::vector<int> mismatches(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    clients.emplace_back([&, t] {
      auto client = Client();
      for (int r = 0; r < kRequests; ++r) {
        const int which = (t * 7 + r) % 14;
        const std::string name = which < 12 ? "page" + std::to_string(which) + ".htm" : "large.bin";
        const bool deflate = r % 3 == 0;
        httplib::Headers headers;
        if (deflate) {
          headers.emplace("Accept-Encoding", "deflate");
        }
        const auto result = client.Get("/" + name, headers);
        std::string body = result ? result->body : std::string();
        if (result && result->get_header_value("Content-Encoding") == "deflate") {
          body = Inflate(body);
        }
        mismatches[t] +=
            (!result || result->status != 200 || body != testDocument_.Contents(name)) ? 1 : 0;
      }
    });
  }
  for (auto& client : clients) {
    client.join();
  }
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(mismatches[t], 0) << "client " << t;
  }
}

class ReplacedDocumentTest : public ServeTest {
 protected:
  ReplacedDocumentTest() {
    testDocument_.Stored("large.bin", NoiseBytes(400000, 5));
    Serve();
  }

  // Overwrites bytes in the middle of the file and puts its modification time back, as an
  // editor that preserves times would.
  void EditInPlaceKeepingTheTime() {
    const auto modified = std::filesystem::last_write_time(document_);
    {
      std::fstream file(document_, std::ios::binary | std::ios::in | std::ios::out);
      file.seekp(100);
      file << "edited";
    }
    std::filesystem::last_write_time(document_, modified);
  }
};

// A file replaced or removed by name keeps its bytes for whoever holds it open: the site goes
// on serving the document it opened, whole; taking up the new file is its owner's business.
TEST_F(ReplacedDocumentTest, AFileReplacedOrRemovedByNameIsServedAsItWasOpened) {
  ASSERT_EQ(Get("/index.htm")->status, 200);
  const auto replacement = folder_.Path() / "new.tlt";
  TTestDocument().Entry("index.htm", "a different document").WriteTo(replacement);
  std::filesystem::rename(replacement, document_);
  auto result = Get("/index.htm");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->body, testDocument_.Contents("index.htm"));
  std::filesystem::remove(document_);
  EXPECT_EQ(Get("/large.bin")->body, testDocument_.Contents("large.bin"));
}

TEST_F(ReplacedDocumentTest, AFileWrittenOverInPlaceIsNotServedUntilReopened) {
  ASSERT_EQ(Get("/style.css")->status, 200);
  {
    std::ofstream append(document_, std::ios::binary | std::ios::app);
    append << "appended";
  }
  const auto result = Get("/style.css");
  EXPECT_EQ(result->status, 503);
  EXPECT_EQ(result->get_header_value("Retry-After"), "1");
  EXPECT_EQ(Get("/")->status, 503);
}

TEST_F(ReplacedDocumentTest, AnInPlaceEditWithTheTimePutBackIsNoticed) {
  ASSERT_EQ(Get("/style.css")->status, 200);
  EditInPlaceKeepingTheTime();
  EXPECT_EQ(Get("/style.css")->status, 503);
}

TEST_F(ReplacedDocumentTest, AReplyRunningDuringAnEditIsCutRatherThanMixed) {
  TSiteRequest request;
  request.Method = "GET";
  request.Target = "/large.bin";
  TSiteResponse response = site_->Respond(request);
  ASSERT_EQ(response.Status, 200);
  ASSERT_FALSE(response.Body->Next().empty());
  EditInPlaceKeepingTheTime();
  EXPECT_THROW(response.Body->Next(), std::exception);
}

}  // namespace
}  // namespace tomelet::serve::testing
