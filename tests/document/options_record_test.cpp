#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "document/DocumentAddress.h"
#include "document/ProjectOptions.h"

namespace tomelet {
namespace {

std::vector<std::byte> ZeroRecord() {
  return std::vector<std::byte>(TProjectOptions::kSize);
}

void Put(std::vector<std::byte>& bytes, std::size_t offset, std::string_view text) {
  std::transform(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                 [](char c) { return static_cast<std::byte>(c); });
}

TEST(OptionsRecord, AllZeroRecordMeansEverythingOff) {
  TProjectOptions options;
  options.Read(ZeroRecord());
  EXPECT_EQ(StartUrl(options.StartPageOption()), "tome://inpack/");
  EXPECT_EQ(options.WindowBorder(), 0);
  EXPECT_EQ(options.WindowWidth(), 0);
  EXPECT_TRUE(options.LogoSource().empty());
  EXPECT_TRUE(options.AccessPassword().empty());
  for (const auto& field : kProjectOptionFields) {
    if (field.Kind == TOptionKind::Boolean) {
      EXPECT_FALSE(options.BooleanAt(field.Offset)) << field.Name;
    }
  }
}

TEST(OptionsRecord, FieldsDoNotOverlapAndLeaveExactlyTheReservedRanges) {
  const auto width = [](TOptionKind kind) -> std::size_t {
    return kind == TOptionKind::ShortString ? 256 : kind == TOptionKind::Integer ? 4 : 1;
  };
  std::vector<int> owner(TProjectOptions::kSize, -1);
  for (std::size_t i = 0; i < kProjectOptionFields.size(); ++i) {
    const auto& field = kProjectOptionFields[i];
    ASSERT_LE(field.Offset + width(field.Kind), TProjectOptions::kSize) << field.Name;
    for (std::size_t b = field.Offset; b < field.Offset + width(field.Kind); ++b) {
      ASSERT_EQ(owner[b], -1) << field.Name << " overlaps at " << b;
      owner[b] = static_cast<int>(i);
    }
  }
  EXPECT_EQ(std::count(owner.begin(), owner.end(), -1), 260 + 2 + 269 + 8 + 1032);
}

TEST(OptionsRecord, ValuesAreDecodedAsStored) {
  auto bytes = ZeroRecord();
  bytes[option_offset::StartPage] = std::byte{5};
  Put(bytes, option_offset::StartPage + 1, "indexGARBAGE");
  bytes[option_offset::BrowserUserAgent] = std::byte{255};
  Put(bytes, option_offset::BrowserUserAgent + 1, std::string(255, 'u'));
  bytes[option_offset::ShowToolBar] = std::byte{2};
  Put(bytes, option_offset::WindowBorder, "\xFF\xFF\xFF\xFF");
  Put(bytes, option_offset::WindowWidth, "\x84\x03");
  TProjectOptions options;
  options.Read(bytes);
  EXPECT_EQ(options.StartPageOption(), "index");
  EXPECT_EQ(options.BrowserUserAgent(), std::string(255, 'u'));
  EXPECT_TRUE(options.ShowToolBar());
  EXPECT_FALSE(options.ShowStatusBar());
  EXPECT_EQ(options.WindowBorder(), -1);
  EXPECT_EQ(options.WindowWidth(), 900);
}

TEST(OptionsRecord, ShortSourceLeavesZerosAndLongSourceIsCut) {
  TProjectOptions options;
  options.SetShortStringAt(option_offset::BrowserUserAgent, "stale");
  options.Read(
      std::vector<std::byte>{std::byte{3}, std::byte{'a'}, std::byte{'b'}, std::byte{'c'}});
  EXPECT_EQ(options.StartPageOption(), "abc");
  EXPECT_TRUE(options.BrowserUserAgent().empty());

  options.Read(std::vector<std::byte>(TProjectOptions::kSize + 100, std::byte{7}));
  EXPECT_EQ(options.WindowHeight(), 0x07070707);
}

TEST(OptionsRecord, WriterRoundTripsAndKeepsReservedBytesZero) {
  TProjectOptions written;
  written.SetShortStringAt(option_offset::AccessPassword, std::string(40, 'x'));
  for (const auto& field : kProjectOptionFields) {
    if (field.Kind == TOptionKind::ShortString) {
      written.SetShortStringAt(field.Offset, std::string(field.Name));
    } else if (field.Kind == TOptionKind::Integer) {
      written.SetIntegerAt(field.Offset, -static_cast<std::int32_t>(field.Offset));
    } else {
      written.SetBooleanAt(field.Offset, true);
    }
  }
  TProjectOptions read;
  read.Read(written.Bytes());
  EXPECT_EQ(read.StartPageOption(), "StartPage");
  EXPECT_EQ(read.WindowHeight(), -524);
  EXPECT_TRUE(read.AllowFontSize());
  // A shorter text clears what a longer one left behind.
  EXPECT_EQ(written.Bytes()[option_offset::AccessPassword + 1 + 14], std::byte{0});
  EXPECT_EQ(written.Bytes()[784], std::byte{0});
  EXPECT_EQ(written.Bytes()[TProjectOptions::kSize - 1], std::byte{0});
  EXPECT_EQ(written.Bytes()[option_offset::NoScrollBars], std::byte{1});
}

TEST(OptionsRecord, WriterRefusesTextThatDoesNotFit) {
  TProjectOptions options;
  options.SetShortStringAt(option_offset::StartPage, std::string(255, 'a'));
  EXPECT_THROW(options.SetShortStringAt(option_offset::StartPage, std::string(256, 'b')),
               std::length_error);
  EXPECT_EQ(options.StartPageOption(), std::string(255, 'a'));
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
                      StartUrlCase{"folder\\", "tome://inpack/"}));

TEST(StartPageArchivePathTest, IsTheEntryTheStartUrlLeadsTo) {
  EXPECT_EQ(StartPageArchivePath("C:\\Projects\\doc\\start.htm"), "start.htm");
  EXPECT_EQ(StartPageArchivePath("guide/intro%20one.htm?part=2"), "guide\\intro one.htm");
}

}  // namespace
}  // namespace tomelet
