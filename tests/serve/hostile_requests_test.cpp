#include "tests/serve/serve_fixture.h"

namespace tomelet::serve::testing {
namespace {

class HostileRequestTest : public ServeTest, public ::testing::WithParamInterface<std::string> {
 protected:
  HostileRequestTest() {
    // Names a hostile document may carry; they must not be reachable by dot segments either.
    testDocument_.Entry("..\\secret.htm", "dot-dot entry");
    testDocument_.Entry("sub\\..\\index.htm", "shadow page");
    Serve();
  }
};

TEST_P(HostileRequestTest, NeverReachesFilesOrDotSegmentEntries) {
  const auto result = Get(GetParam());
  ASSERT_TRUE(result) << GetParam();
  EXPECT_TRUE(result->status == 404 || result->status == 400)
      << GetParam() << " " << result->status;
  EXPECT_EQ(result->body.find("root:"), std::string::npos);
  EXPECT_EQ(result->body.find("dot-dot entry"), std::string::npos);
  EXPECT_EQ(result->body.find("shadow page"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Targets, HostileRequestTest,
                         ::testing::Values("/../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd",
                                           "/..%2fsecret.htm", "/../secret.htm",
                                           "/sub/../index.htm", "/sub/%2E%2E/index.htm",
                                           "/./index.htm", "//etc/passwd", "/%2Fetc%2Fpasswd",
                                           "/etc/passwd", "/C:%5Cwindows%5Cwin.ini",
                                           "/index.htm%00.png", "http://127.0.0.1/etc/passwd",
                                           "*"));

TEST_F(HostileRequestTest, LargeRequestBodiesAreRefusedAndServingGoesOn) {
  const auto posted = Client().Post("/index.htm", std::string(1 << 20, 'x'), "text/plain");
  if (posted) {
    EXPECT_NE(posted->status, 200);
  }
  const auto result = Get("/index.htm");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
}

}  // namespace
}  // namespace tomelet::serve::testing
