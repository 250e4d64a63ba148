#include <unistd.h>

#include "tests/serve/serve_fixture.h"
#include "tests/serve/serve_process.h"

namespace tomelet::serve::testing {
namespace {

class StatusCodesTest : public ServeTest {
 protected:
  StatusCodesTest() {
    testDocument_.Entry("guide\\read me.htm", PageText("Read me", 3));
    testDocument_.Entry("notes.unknownext", "plain bytes");
    Serve();
  }
};

TEST_F(StatusCodesTest, RootRedirectsToTheStartPage) {
  const auto result = Get("/");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 302);
  EXPECT_EQ(result->get_header_value("Location"), "/index.htm");
}

TEST_F(StatusCodesTest, RootWithQueryRedirectsToo) {
  const auto result = Get("/?from=bookmark");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 302);
}

TEST_F(StatusCodesTest, PagesAreServedWithTheirBytes) {
  const auto result = Get("/index.htm");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->body, testDocument_.Contents("index.htm"));
  EXPECT_EQ(result->get_header_value("Content-Type"), "text/html; charset=utf-8");
}

TEST_F(StatusCodesTest, PathsMapAsInsideTheViewer) {
  // Escapes are decoded, "/" becomes "\", the query is cut and letter case does not matter.
  for (const std::string target : {"/guide/read%20me.htm", "/guide/read+me.htm",
                                   "/GUIDE/Read%20Me.htm?x=1", "/guide%2fread%20me.htm"}) {
    const auto result = Get(target);
    ASSERT_TRUE(result) << target;
    EXPECT_EQ(result->status, 200) << target;
    EXPECT_EQ(result->body, testDocument_.Contents("guide\\read me.htm")) << target;
  }
}

TEST_F(StatusCodesTest, UnknownPathsGetASmallPageThatEscapesTheName) {
  const auto result = Get("/missing%3Cscript%3E.htm");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 404);
  EXPECT_EQ(result->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_NE(result->body.find("&lt;script&gt;"), std::string::npos);
  EXPECT_EQ(result->body.find("<script>"), std::string::npos);
}

TEST_F(StatusCodesTest, MissingNamesShowSlashesEscapedControlsAndTheWayBack) {
  const auto result = Get("/guide/x%1B%5D0;owned%07%0Aforged.htm");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 404);
  EXPECT_NE(result->body.find("no entry guide/x\\x1b]0;owned\\x07\\nforged.htm."),
            std::string::npos)
      << result->body;
  EXPECT_EQ(result->body.find_first_of("\x1b\x07"), std::string::npos);
  EXPECT_NE(result->body.find("<a href=\"/\">"), std::string::npos);
  EXPECT_NE(result->body.find("<a href=\"/-/search\">"), std::string::npos);
}

TEST_F(StatusCodesTest, OptionsRecordIsNeverServed) {
  for (const std::string target : {"/-config-", "/-CONFIG-", "/%2Dconfig-", "/-config-?x"}) {
    const auto result = Get(target);
    ASSERT_TRUE(result) << target;
    EXPECT_EQ(result->status, 404) << target;
  }
}

TEST_F(StatusCodesTest, LogoIsServedAsFavicon) {
  const auto result = Get("/favicon.ico");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->body, kLogo);
  EXPECT_EQ(result->get_header_value("Content-Type"), "image/vnd.microsoft.icon");
  EXPECT_EQ(Get("/-logo-")->status, 404);
}

TEST_F(StatusCodesTest, OtherMethodsAreRefused) {
  auto client = Client();
  const auto posted = client.Post("/index.htm", "x=1", "application/x-www-form-urlencoded");
  ASSERT_TRUE(posted);
  EXPECT_EQ(posted->status, 405);
  EXPECT_EQ(posted->get_header_value("Allow"), "GET, HEAD");
  const auto deleted = client.Delete("/index.htm");
  ASSERT_TRUE(deleted);
  EXPECT_EQ(deleted->status, 405);
}

TEST_F(StatusCodesTest, HeadTellsTheLengthWithoutTheBody) {
  const auto result = Client().Head("/index.htm");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->get_header_value("Content-Length"),
            std::to_string(testDocument_.Contents("index.htm").size()));
  EXPECT_TRUE(result->body.empty());
}

TEST_F(StatusCodesTest, ConnectionsStayOpenBetweenRequests) {
  auto client = Client();
  for (int i = 0; i < 20; ++i) {
    const auto result = client.Get(i % 2 == 0 ? "/index.htm" : "/style.css");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_NE(result->get_header_value("Connection"), "close");
  }
}

// What the server sends until it closes the connection.
std::string ReadToClose(int fd) {
  std::string stream;
  char buffer[4096];
  for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
    stream.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return stream;
}

// The requests written at once on a new connection, and all the server answers to them.
std::string Exchange(std::uint16_t port, const std::string& requests) {
  const int fd = LoopbackConnection(port);
  EXPECT_EQ(::write(fd, requests.data(), requests.size()), static_cast<ssize_t>(requests.size()));
  return ReadToClose(fd);
}

// Replies as they are framed on the wire, one after another on one connection.
struct WireReply {
  std::string head;
  std::string body;
};

std::vector<WireReply> SplitReplies(std::string_view stream, const std::vector<bool>& withBody) {
  std::vector<WireReply> replies;
  for (const bool bodySent : withBody) {
    const auto end = stream.find("\r\n\r\n");
    if (end == std::string_view::npos) {
      break;
    }
    WireReply reply{std::string(stream.substr(0, end + 2)), {}};
    stream.remove_prefix(end + 4);
    const auto length = reply.head.find("\r\nContent-Length: ");
    if (bodySent && length != std::string::npos) {
      const auto size = static_cast<std::size_t>(std::stoul(reply.head.substr(length + 18)));
      reply.body = std::string(stream.substr(0, size));
      stream.remove_prefix(std::min(size, stream.size()));
    }
    replies.push_back(std::move(reply));
  }
  EXPECT_TRUE(stream.empty()) << stream.size() << " bytes after the last reply";
  return replies;
}

TEST_F(StatusCodesTest, EachReplyIsFramedForItsVersionMethodAndStatus) {
  const std::string requests =
      "GET /index.htm HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"
      "HEAD /index.htm HTTP/1.1\r\nHost: t\r\n\r\n"
      "GET /index.htm HTTP/1.1\r\nHost: t\r\nIf-Modified-Since: Fri, 01 Jan 2100 00:00:00 "
      "GMT\r\n\r\n"
      "GET /style.css HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n";
  const std::string stream = Exchange(server_->Port(), requests);

  const auto replies = SplitReplies(stream, {true, false, false, true});
  ASSERT_EQ(replies.size(), 4u) << stream;
  const std::string page = testDocument_.Contents("index.htm");
  const std::string length = "\r\nContent-Length: " + std::to_string(page.size()) + "\r\n";
  EXPECT_TRUE(replies[0].head.starts_with("HTTP/1.0 200 OK\r\n")) << replies[0].head;
  EXPECT_NE(replies[0].head.find("\r\nConnection: keep-alive\r\n"), std::string::npos);
  EXPECT_NE(replies[0].head.find(length), std::string::npos);
  EXPECT_EQ(replies[0].body, page);
  EXPECT_TRUE(replies[1].head.starts_with("HTTP/1.1 200 OK\r\n")) << replies[1].head;
  EXPECT_NE(replies[1].head.find(length), std::string::npos);
  EXPECT_EQ(replies[1].head.find("\r\nConnection:"), std::string::npos);
  EXPECT_TRUE(replies[2].head.starts_with("HTTP/1.1 304 Not Modified\r\n")) << replies[2].head;
  EXPECT_EQ(replies[2].head.find("Content-Length"), std::string::npos);
  EXPECT_NE(replies[2].head.find("\r\nETag: "), std::string::npos);
  EXPECT_NE(replies[3].head.find("\r\nConnection: close\r\n"), std::string::npos);
  EXPECT_EQ(replies[3].body, testDocument_.Contents("style.css"));
  for (const auto& reply : replies) {
    EXPECT_NE(reply.head.find("\r\nServer: tomelet\r\nDate: "), std::string::npos);
  }
}

// A client may send the whole address as the target, as to a proxy; every server must take it.
TEST_F(StatusCodesTest, AnAbsoluteTargetIsAnsweredAsItsPath) {
  const std::string stream =
      Exchange(server_->Port(),
               "GET http://t/style.css HTTP/1.1\r\nHost: t\r\n\r\n"
               "GET HTTP://t HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n");
  const auto replies = SplitReplies(stream, {true, true});
  ASSERT_EQ(replies.size(), 2u) << stream;
  EXPECT_TRUE(replies[0].head.starts_with("HTTP/1.1 200 OK\r\n")) << replies[0].head;
  EXPECT_EQ(replies[0].body, testDocument_.Contents("style.css"));
  EXPECT_TRUE(replies[1].head.starts_with("HTTP/1.1 302 Found\r\n")) << replies[1].head;
  EXPECT_NE(replies[1].head.find("\r\nLocation: /index.htm\r\n"), std::string::npos);
}

// A client that holds its body back until told to go on is told, then answered.
TEST_F(StatusCodesTest, ARequestExpectingContinueIsToldToGoOn) {
  const int fd = LoopbackConnection(server_->Port());
  const std::string head =
      "GET /style.css HTTP/1.1\r\nHost: t\r\nExpect: 100-continue\r\nContent-Length: "
      "5\r\nConnection: close\r\n\r\n";
  ASSERT_EQ(::write(fd, head.data(), head.size()), static_cast<ssize_t>(head.size()));
  const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
  std::string told(interim.size(), '\0');
  ASSERT_EQ(::read(fd, told.data(), told.size()), static_cast<ssize_t>(told.size()));
  EXPECT_EQ(told, interim);
  ASSERT_EQ(::write(fd, "hello", 5), 5);
  const std::string stream = ReadToClose(fd);
  const auto replies = SplitReplies(stream, {true});
  ASSERT_EQ(replies.size(), 1u) << stream;
  EXPECT_TRUE(replies[0].head.starts_with("HTTP/1.1 200 OK\r\n")) << replies[0].head;
  EXPECT_EQ(replies[0].body, testDocument_.Contents("style.css"));
}

// A host given by name, and the loopback address written in IPv6, are this machine's alone.
TEST_F(ServeTest, LoopbackIsKnownByNameAndInEitherForm) {
  for (const char* host : {"localhost", "::ffff:127.0.0.1"}) {
    settings_.Host = host;
    Serve();
    EXPECT_TRUE(server_->IsLoopback()) << host << " listens on " << server_->Host();
    server_->Stop();
  }
}

class ContentTypeTest : public ServeTest,
                        public ::testing::WithParamInterface<std::pair<std::string, std::string>> {
};

TEST_P(ContentTypeTest, FollowsTheExtension) {
  const auto& [name, type] = GetParam();
  testDocument_.Entry(name, "contents");
  Serve();
  const auto result = Get("/" + name);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->get_header_value("Content-Type"), type);
}

INSTANTIATE_TEST_SUITE_P(Extensions, ContentTypeTest,
                         ::testing::Values(std::pair{"a.htm", "text/html; charset=utf-8"},
                                           std::pair{"b.HTML", "text/html; charset=utf-8"},
                                           std::pair{"c.css", "text/css; charset=utf-8"},
                                           std::pair{"d.js", "text/javascript; charset=utf-8"},
                                           std::pair{"e.svg", "image/svg+xml; charset=utf-8"},
                                           std::pair{"f.pdf", "application/pdf"},
                                           std::pair{"g.woff2", "font/woff2"},
                                           std::pair{"h.JPG", "image/jpeg"},
                                           std::pair{"no-extension", "text/plain; charset=utf-8"},
                                           std::pair{"i.unknownext", "text/plain; charset=utf-8"}));

// A name that does not tell leaves the type to the bytes, by the rule the viewer follows too.
TEST_F(ServeTest, AnExtensionlessEntryIsTypedByItsBytesAsTheViewerTypesIt) {
  testDocument_.Entry("page", "\n  <!DOCTYPE html><title>Page</title>");
  testDocument_.Entry("blob", std::string("\x01\x02\x03\xff\xfe\x00\x07", 7));
  Serve();
  EXPECT_EQ(Get("/page")->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(Get("/blob")->get_header_value("Content-Type"), "application/octet-stream");
}

TEST_F(ServeTest, DocumentWithoutStartPageAnswersRootWithNotFound) {
  testDocument_.StartPageOption("");
  Serve();
  const auto result = Get("/");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 404);
}

// The answer to "/", asked directly: the plain client decodes header values.
TSiteResponse RootAnswer(const TDocumentSite& site) {
  TSiteRequest request;
  request.Method = "GET";
  request.Target = "/";
  return site.Respond(request);
}

TEST_F(ServeTest, StartPageIsEscapedOnlyWhereAUrlNeedsIt) {
  testDocument_.StartPageOption("C:\\docs\\start here.htm?tab=1");
  Serve();
  const TSiteResponse response = RootAnswer(*site_);
  EXPECT_EQ(response.Status, 302);
  EXPECT_EQ(response.Header("Location"), "/start%20here.htm?tab=1");
}

// Characters a URL allows pass as written; quotes, brackets of HTML, controls and bytes beyond
// ASCII are escaped.
TEST_F(ServeTest, StartPageKeepsEveryCharacterAUrlAllows) {
  testDocument_.StartPageOption("a\"<>^`{|}\x7F\t!#$&'()*+,;=@[]~-_.\xC3\xA9.htm");
  Serve();
  EXPECT_EQ(RootAnswer(*site_).Header("Location"),
            "/a%22%3C%3E%5E%60%7B%7C%7D%7F%09!#$&'()*+,;=@[]~-_.%C3%A9.htm");
}

TEST_F(ServeTest, WindowsNamesAreFoundFromUtf8Urls) {
  testDocument_.Entry("caf\xE9.htm", "legacy name");
  Serve();
  const auto result = Get("/caf%C3%A9.htm");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->body, "legacy name");
}

TEST_F(ServeTest, DamagedEntriesFailWithServerError) {
  testDocument_.Claiming("broken.htm", NoiseBytes(64, 7), 5000);
  Serve();
  const auto result = Get("/broken.htm");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 500);
  EXPECT_NE(result->body.find("The archive appears to be corrupted"), std::string::npos);
}

}  // namespace
}  // namespace tomelet::serve::testing
