#include <gtest/gtest.h>

#include <string>

#include "WebHost/UserAgent.h"

namespace tomelet {
namespace {

TEST(EngineUserAgentTest, LineBreaksAndControlCharactersBetweenWordsBecomeOneSpace) {
  EXPECT_EQ(EngineUserAgent("Tomelet/1.0 (Manual; X11)"), "Tomelet/1.0 (Manual; X11)");
  EXPECT_EQ(EngineUserAgent("Tomelet/1.0\r\nManual/2"), "Tomelet/1.0 Manual/2");
  EXPECT_EQ(EngineUserAgent("Tomelet/1.0 \n(Manual)"), "Tomelet/1.0 (Manual)");
  EXPECT_EQ(EngineUserAgent("A\tB\x1b\x7f"
                            "C  (x\ty)"),
            "A B C  (x y)");
  EXPECT_EQ(EngineUserAgent("\r\n Tomelet/1.0 \r\n"), "Tomelet/1.0");
  EXPECT_EQ(EngineUserAgent(std::string("A\0B", 3)), "A B");
  EXPECT_EQ(EngineUserAgent("\r\n\t"), "") << "nothing left keeps the engine's own";
}

// The engine refuses any other form with a critical; its own agent then stands.
TEST(EngineUserAgentTest, OnlyProductsAndCommentsInPrintableAsciiAreSent) {
  for (const char* sent :
       {"Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/605.1.15 (KHTML, like Gecko) Safari/605.1.15",
        "Tomelet", "a/b (c (nested) \\) d)", "x (a,b;c:d@e)"})
    EXPECT_EQ(EngineUserAgent(sent), sent);
  for (const char* refused :
       {"Acme Docs, v2", "Tomelet/", "/1.0", "Tomelet/1.0/2", "(comment first)", "a (open",
        "a (b))", "a (b\\", "Caf\xE9/1.0", "Caf\xC3\xA9/1.0", "a (\xC2\x85)", "X-Header: 1"})
    EXPECT_EQ(EngineUserAgent(refused), "") << refused;
}

}  // namespace
}  // namespace tomelet
