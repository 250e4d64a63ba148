#include <gtest/gtest.h>

#include "tools/tomelet/OptionsJson.h"

namespace tomelet::cli {
namespace {

using nlohmann::json;

std::string ErrorOf(const json& input) {
  try {
    OptionsFromJson(input);
  } catch (const EOptionsError& e) {
    return e.what();
  }
  return {};
}

TEST(OptionsJson, EveryFieldRoundTrips) {
  const auto input = json::parse(R"({
    "StartPage": "index.htm", "WindowBorder": 2, "WindowWidth": 900, "WindowHeight": 650,
    "LogoSource": "logo.ico", "NoScrollBars": false, "CenterWindow": true, "ShowToolBar": true,
    "ShowButtonCaptions": true, "ShowStatusBar": true, "AllowCopy": true, "AllowFind": true,
    "AllowPrint": true, "AllowFontSize": true, "AccessPassword": "s\u00e9cret",
    "OpenOutsideMasks": "*.exe;", "BrowserUserAgent": "Tomelet/1.0"})");
  const auto options = OptionsFromJson(input);
  EXPECT_EQ(options.WindowWidth(), 900);
  EXPECT_EQ(options.AccessPassword(),
            "s\xC3\xA9"
            "cret");
  const auto output = OptionsToJson(options);
  EXPECT_EQ(json(output), input);
  // The keys come out in record order, exactly the field names.
  std::vector<std::string> keys;
  for (const auto& [key, value] : output.items()) {
    keys.push_back(key);
  }
  ASSERT_EQ(keys.size(), kProjectOptionFields.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(keys[i], kProjectOptionFields[i].Name);
  }
}

TEST(OptionsJson, MissingKeysStayZero) {
  const auto options = OptionsFromJson(json::parse(R"({"StartPage": "a.htm"})"));
  TProjectOptions expected;
  expected.SetShortStringAt(option_offset::StartPage, "a.htm");
  EXPECT_TRUE(std::equal(options.Bytes().begin(), options.Bytes().end(), expected.Bytes().begin()));
}

TEST(OptionsJson, BadInputNamesTheKey) {
  EXPECT_NE(
      ErrorOf(json::parse(R"({"StartPage": "a", "Colour": 1})")).find("\"Colour\" is unknown"),
      std::string::npos);
  EXPECT_NE(ErrorOf(json::parse(R"({"WindowWidth": "900"})")).find("WindowWidth"),
            std::string::npos);
  EXPECT_NE(ErrorOf(json::parse(R"({"WindowWidth": 2.5})")).find("integer"), std::string::npos);
  EXPECT_NE(ErrorOf(json::parse(R"({"WindowWidth": 2147483648})")).find("32-bit"),
            std::string::npos);
  EXPECT_NE(ErrorOf(json::parse(R"({"WindowBorder": -2147483649})")).find("32-bit"),
            std::string::npos);
  EXPECT_NE(ErrorOf(json::parse(R"({"AllowCopy": 1})")).find("true or false"), std::string::npos);
  EXPECT_NE(ErrorOf(json{{"StartPage", std::string(256, 'a')}}).find("255"), std::string::npos);
  EXPECT_NE(ErrorOf(json::parse("[1, 2]")).find("object"), std::string::npos);
}

TEST(OptionsJson, ExtremeIntegersAreKept) {
  const auto options =
      OptionsFromJson(json::parse(R"({"WindowBorder": -2147483648, "WindowWidth": 2147483647})"));
  EXPECT_EQ(options.WindowBorder(), -2147483647 - 1);
  EXPECT_EQ(options.WindowWidth(), 2147483647);
}

TEST(OptionsJson, Windows1252TextIsShownAsUtf8) {
  TProjectOptions options;
  options.SetShortStringAt(option_offset::BrowserUserAgent, "Caf\xE9");
  EXPECT_EQ(OptionsToJson(options)["BrowserUserAgent"], "Caf\xC3\xA9");
}

}  // namespace
}  // namespace tomelet::cli
