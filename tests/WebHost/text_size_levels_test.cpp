#include <gtest/gtest.h>

#include "WebHost/TextSize.h"

namespace tomelet {
namespace {

TEST(TextSizeLevelsTest, MediumIsTheEnginesOwnSize) {
  EXPECT_EQ(TextSizeZoomLevel(kMediumTextSize), 1.0);
}

TEST(TextSizeLevelsTest, EachLargerSizeShowsLargerText) {
  for (int size = 1; size <= 4; ++size)
    EXPECT_GT(*TextSizeZoomLevel(size), *TextSizeZoomLevel(size - 1)) << size;
}

TEST(TextSizeLevelsTest, SizesOutsideTheFiveHaveNoLevel) {
  EXPECT_FALSE(TextSizeZoomLevel(-1));
  EXPECT_FALSE(TextSizeZoomLevel(5));
  EXPECT_FALSE(TextSizeZoomLevel(1 << 30));
}

}  // namespace
}  // namespace tomelet
