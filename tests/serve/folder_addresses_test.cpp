// Folder addresses as site generators link them: "guide/" is the folder's index page, and
// "guide" is sent to "guide/" so that the page's relative links resolve inside the folder.
#include <algorithm>
#include <string>

#include "tests/serve/serve_fixture.h"

namespace tomelet::serve::testing {
namespace {

class FolderAddressesTest : public ServeTest {
 protected:
  FolderAddressesTest() {
    testDocument_.Entry("guide\\index.html", "<a href='../reference/'>reference</a>");
    testDocument_.Entry("guide\\index.htm", "older page");
    testDocument_.Entry("reference\\api\\Index.htm", "api page");
    testDocument_.Entry("images\\logo.png", "png");
    Serve();
  }
};

TEST_F(FolderAddressesTest, AFolderAddressAnswersWithItsIndexPage) {
  for (const std::string target : {"/guide/", "/GUIDE/?from=nav", "/guide%2F"}) {
    const auto result = Get(target);
    ASSERT_TRUE(result) << target;
    EXPECT_EQ(result->status, 200) << target;
    EXPECT_EQ(result->body, testDocument_.Contents("guide\\index.html")) << target;
    EXPECT_EQ(result->get_header_value("Content-Type"), "text/html; charset=utf-8") << target;
  }
  const auto htm = Get("/reference/api/");
  ASSERT_TRUE(htm);
  EXPECT_EQ(htm->body, "api page");
  // A folder without an index page, and one that is not there, have nothing to show.
  for (const std::string target : {"/images/", "/images", "/reference/", "/nothere/"}) {
    const auto result = Get(target);
    ASSERT_TRUE(result) << target;
    EXPECT_EQ(result->status, 404) << target;
  }
}

TEST_F(FolderAddressesTest, AFolderNamedWithoutItsSlashIsRedirectedToIt) {
  for (const std::string target : {"/guide", "/Reference/api?x=1"}) {
    const auto result = Get(target);
    ASSERT_TRUE(result) << target;
    EXPECT_EQ(result->status, 301) << target;
    const std::string location = result->get_header_value("Location");
    EXPECT_EQ(location, target.substr(0, target.find('?')) + "/" +
                            target.substr(std::min(target.find('?'), target.size())));
    const auto followed = Get(location);
    ASSERT_TRUE(followed) << target;
    EXPECT_EQ(followed->status, 200) << target;
  }
  // Asked directly, since the plain client decodes header values: escapes stay as written.
  TSiteRequest request;
  request.Method = "GET";
  request.Target = "/reference%2Fapi?q=a%20b";
  EXPECT_EQ(site_->Respond(request).Header("Location"), "/reference%2Fapi/?q=a%20b");
  // The root is still the start page, and the start page itself is no folder.
  EXPECT_EQ(Get("/")->get_header_value("Location"), "/index.htm");
  EXPECT_EQ(Get("/index.htm")->status, 200);
}

// Only the document's author can name a folder "\host", but even then no answer may send a
// browser to another host.
TEST_F(ServeTest, ARedirectNeverLeadsToAnotherHost) {
  testDocument_.Entry("\\evil.example\\index.html", "elsewhere");
  testDocument_.Entry("..\\up\\index.html", "outside");
  Serve();
  for (const std::string target : {"//evil.example", "/%2Fevil.example", "/../up", "/%2E%2E/up"}) {
    const auto result = Get(target);
    ASSERT_TRUE(result) << target;
    EXPECT_NE(result->status, 301) << target;
    EXPECT_EQ(result->get_header_value("Location"), "") << target;
  }
}

}  // namespace
}  // namespace tomelet::serve::testing
