#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "WebHost/PageResources.h"

namespace tomelet {
namespace {

// Each file the host puts into pages is in the bundle, whole, under the name the host uses.
TEST(PageResourcesTest, EveryPageFileLoadsByNameAndAMissingOneIsABuildFault) {
  EXPECT_NE(PageResource("close.js").find("messageHandlers.tomeletClose"), std::string::npos);
  EXPECT_NE(PageResource("editing.js").find("messageHandlers.tomeletEditing"), std::string::npos);
  EXPECT_NE(PageResource("scroll.js").find("messageHandlers.tomeletScroll"), std::string::npos);
  EXPECT_TRUE(PageResource("highlight.js").ends_with("return ranges.length;\n"));
  EXPECT_TRUE(
      PageResource("find.js").ends_with("return (state.current + 1) + ' ' + "
                                        "state.matches.length;\n"));
  EXPECT_NE(PageResource("marks.css").find("::highlight(tomelet-find-current)"), std::string::npos);
  EXPECT_NE(PageResource("hidden-scroll-bars.css").find("overflow: hidden"), std::string::npos);
  EXPECT_THROW(PageResource("missing.js"), std::logic_error);
}

}  // namespace
}  // namespace tomelet
