#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <stdexcept>
#include <vector>

#include "Unit1/ProjectOptions.h"

namespace tomelet {
namespace {

std::vector<std::byte> Filled(std::size_t size, std::byte value) {
  return std::vector<std::byte>(size, value);
}

TEST(OptionsRecord, AllZeroRecordMeansEverythingOff) {
  TProjectOptions options;
  options.Read(Filled(TProjectOptions::kSize, std::byte{0}));
  EXPECT_EQ(StartUrl(options.StartPage()), "tome://inpack/");
  EXPECT_EQ(options.WindowBorder(), 0);
  EXPECT_EQ(options.WindowWidth(), 0);
  EXPECT_EQ(options.WindowHeight(), 0);
  EXPECT_TRUE(options.LogoSource().empty());
  EXPECT_TRUE(options.AccessPassword().empty());
  EXPECT_TRUE(options.OpenOutsideMasks().empty());
  EXPECT_TRUE(options.BrowserUserAgent().empty());
  for (const auto& field : kProjectOptionFields) {
    if (field.Kind == TOptionKind::Boolean) {
      EXPECT_FALSE(options.BooleanAt(field.Offset)) << field.Name;
    }
  }
}

TEST(OptionsRecord, FieldsDoNotOverlapAndFitTheRecord) {
  auto width = [](const TOptionField& field) -> std::size_t {
    switch (field.Kind) {
      case TOptionKind::ShortString:
        return 256;
      case TOptionKind::Integer:
        return 4;
      case TOptionKind::Boolean:
        return 1;
    }
    return 0;
  };
  std::vector<int> owner(TProjectOptions::kSize, -1);
  for (std::size_t i = 0; i < kProjectOptionFields.size(); ++i) {
    const auto& field = kProjectOptionFields[i];
    ASSERT_LE(field.Offset + width(field), TProjectOptions::kSize) << field.Name;
    for (std::size_t b = field.Offset; b < field.Offset + width(field); ++b) {
      ASSERT_EQ(owner[b], -1) << field.Name << " overlaps at " << b;
      owner[b] = static_cast<int>(i);
    }
  }
  // The reserved ranges are exactly the bytes no field claims.
  const auto reserved = std::count(owner.begin(), owner.end(), -1);
  EXPECT_EQ(reserved, 260 + 2 + 269 + 8 + 1032);
}

TEST(OptionsRecord, ShortStringIgnoresBytesAfterItsLength) {
  auto bytes = Filled(TProjectOptions::kSize, std::byte{0});
  const std::string text = "index.htmGARBAGE";
  bytes[option_offset::StartPage] = std::byte{5};
  std::transform(text.begin(), text.end(), bytes.begin() + 1,
                 [](char c) { return static_cast<std::byte>(c); });
  TProjectOptions options;
  options.Read(bytes);
  EXPECT_EQ(options.StartPage(), "index");
}

TEST(OptionsRecord, ShortStringOfFullLengthReadsAll255Bytes) {
  auto bytes = Filled(TProjectOptions::kSize, std::byte{'x'});
  bytes[option_offset::BrowserUserAgent] = std::byte{255};
  TProjectOptions options;
  options.Read(bytes);
  EXPECT_EQ(options.BrowserUserAgent(), std::string(255, 'x'));
}

TEST(OptionsRecord, AnyNonZeroBooleanByteCountsAsTrue) {
  auto bytes = Filled(TProjectOptions::kSize, std::byte{0});
  bytes[option_offset::ShowToolBar] = std::byte{2};
  bytes[option_offset::AllowPrint] = std::byte{0xFF};
  TProjectOptions options;
  options.Read(bytes);
  EXPECT_TRUE(options.ShowToolBar());
  EXPECT_TRUE(options.AllowPrint());
  EXPECT_FALSE(options.ShowStatusBar());
}

TEST(OptionsRecord, IntegersAreLittleEndianSigned) {
  auto bytes = Filled(TProjectOptions::kSize, std::byte{0});
  const std::array<std::byte, 4> minusOne{std::byte{0xFF}, std::byte{0xFF}, std::byte{0xFF},
                                          std::byte{0xFF}};
  const std::array<std::byte, 4> width{std::byte{0x84}, std::byte{0x03}, std::byte{0},
                                       std::byte{0}};
  std::copy(minusOne.begin(), minusOne.end(), bytes.begin() + option_offset::WindowBorder);
  std::copy(width.begin(), width.end(), bytes.begin() + option_offset::WindowWidth);
  TProjectOptions options;
  options.Read(bytes);
  EXPECT_EQ(options.WindowBorder(), -1);
  EXPECT_EQ(options.WindowWidth(), 900);
}

TEST(OptionsRecord, ShortSourceLeavesTheRestZero) {
  TProjectOptions options;
  options.SetShortStringAt(option_offset::BrowserUserAgent, "stale");
  // Only the first bytes of StartPage's field are present: its length says 3, text "abc".
  const std::vector<std::byte> head{std::byte{3}, std::byte{'a'}, std::byte{'b'}, std::byte{'c'}};
  options.Read(head);
  EXPECT_EQ(options.StartPage(), "abc");
  EXPECT_TRUE(options.BrowserUserAgent().empty());
}

TEST(OptionsRecord, LongerSourceIsCutAtTheRecordSize) {
  auto bytes = Filled(TProjectOptions::kSize + 100, std::byte{7});
  TProjectOptions options;
  options.Read(bytes);
  EXPECT_EQ(options.Bytes().size(), TProjectOptions::kSize);
  EXPECT_TRUE(std::all_of(options.Bytes().begin(), options.Bytes().end(),
                          [](std::byte b) { return b == std::byte{7}; }));
}

TEST(OptionsRecord, WriterRoundTripsEveryFieldAndZeroesReservedBytes) {
  TProjectOptions written;
  for (const auto& field : kProjectOptionFields) {
    switch (field.Kind) {
      case TOptionKind::ShortString:
        written.SetShortStringAt(field.Offset, std::string(field.Name) + "-value");
        break;
      case TOptionKind::Integer:
        written.SetIntegerAt(field.Offset, -static_cast<std::int32_t>(field.Offset));
        break;
      case TOptionKind::Boolean:
        written.SetBooleanAt(field.Offset, true);
        break;
    }
  }
  TProjectOptions read;
  read.Read(written.Bytes());
  EXPECT_EQ(read.StartPage(), "StartPage-value");
  EXPECT_EQ(read.WindowHeight(), -524);
  EXPECT_TRUE(read.AllowFontSize());
  EXPECT_EQ(read.BrowserUserAgent(), "BrowserUserAgent-value");
  // Reserved range between LogoSource and the booleans, and the tail, stay zero.
  EXPECT_EQ(written.Bytes()[784], std::byte{0});
  EXPECT_EQ(written.Bytes()[785], std::byte{0});
  EXPECT_EQ(written.Bytes()[TProjectOptions::kSize - 1], std::byte{0});
  EXPECT_EQ(written.Bytes()[option_offset::NoScrollBars], std::byte{1});
}

TEST(OptionsRecord, RewritingAShorterStringClearsTheOldTail) {
  TProjectOptions options;
  options.SetShortStringAt(option_offset::AccessPassword, "longsecret");
  options.SetShortStringAt(option_offset::AccessPassword, "ab");
  EXPECT_EQ(options.AccessPassword(), "ab");
  EXPECT_EQ(options.Bytes()[option_offset::AccessPassword + 3], std::byte{0});
}

TEST(OptionsRecord, WriterRefusesTextThatDoesNotFitAShortString) {
  TProjectOptions options;
  EXPECT_NO_THROW(options.SetShortStringAt(option_offset::StartPage, std::string(255, 'a')));
  EXPECT_THROW(options.SetShortStringAt(option_offset::StartPage, std::string(256, 'a')),
               std::length_error);
  EXPECT_EQ(options.StartPage(), std::string(255, 'a'));
}

TEST(OptionsRecord, AccessOutsideTheRecordThrows) {
  TProjectOptions options;
  EXPECT_THROW(options.IntegerAt(TProjectOptions::kSize - 3), std::out_of_range);
  EXPECT_THROW(options.ShortStringAt(TProjectOptions::kSize - 255), std::out_of_range);
  EXPECT_THROW(options.SetBooleanAt(TProjectOptions::kSize, true), std::out_of_range);
}

struct StartUrlCase {
  std::string startPage;
  std::string url;
};

class StartUrlTest : public ::testing::TestWithParam<StartUrlCase> {};

TEST_P(StartUrlTest, UsesOnlyTheLastComponent) {
  EXPECT_EQ(StartUrl(GetParam().startPage), GetParam().url);
}

INSTANTIATE_TEST_SUITE_P(
    StartPages, StartUrlTest,
    ::testing::Values(StartUrlCase{"index.htm", "tome://inpack/index.htm"},
                      StartUrlCase{"C:\\Projects\\doc\\start.htm", "tome://inpack/start.htm"},
                      StartUrlCase{"C:start.htm", "tome://inpack/start.htm"},
                      StartUrlCase{"guide/intro.htm", "tome://inpack/guide/intro.htm"},
                      StartUrlCase{"folder\\", "tome://inpack/"},
                      StartUrlCase{"", "tome://inpack/"}));

}  // namespace
}  // namespace tomelet
