// What list and info print, in both forms, for a document built by the writer.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/TestDocument.h"
#include "tool_process.h"

namespace tomelet::testing {
namespace {

using nlohmann::json;

class ListingOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    // An executable-like prefix must not show up anywhere but in archive_start.
    WriteFile(folder_ / "prefix", std::string(1000, 'P'));
    SampleDocument().AfterExecutable(folder_ / "prefix").WriteTo(document_);
  }
  json RunJson(const std::vector<std::string>& args) {
    const auto result = RunTool(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return json::parse(result.out);
  }

  TScratchFolder folder_;
  std::filesystem::path document_ = folder_ / "doc.tlt";
};

TEST_F(ListingOutput, ListJsonDescribesTrailerAndEveryEntry) {
  const auto listing = RunJson({"list", "--json", document_.string()});
  EXPECT_EQ(listing["schema_version"], 2);
  EXPECT_EQ(listing["version"], 2);  // the archive's format
  EXPECT_EQ(listing["entry_count"], 5);
  EXPECT_EQ(listing["registry_compressed"], true);
  EXPECT_EQ(listing["archive_start"], 1000);
  const auto fileSize = static_cast<std::int64_t>(std::filesystem::file_size(document_));
  EXPECT_EQ(listing["archive_start"].get<std::int64_t>() +
                listing["data_size"].get<std::int64_t>() +
                listing["registry_size"].get<std::int64_t>() + 36,
            fileSize);
  EXPECT_EQ(listing["archive_crc"].get<std::string>().size(), 8u);

  const auto& entries = listing["entries"];
  ASSERT_EQ(entries.size(), 5u);
  const auto& image = entries[1];
  EXPECT_EQ(image["index"], 1);
  EXPECT_EQ(image["path"], "images/logo.png");
  EXPECT_EQ(image["stored_path"], "images\\logo.png");
  EXPECT_EQ(image["name"], "logo.png");
  EXPECT_EQ(image["folder"], "images/");
  EXPECT_EQ(image["original_size"], 8);
  EXPECT_EQ(image["compressed_size"], 0);  // as the registry keeps it for a stored entry
  EXPECT_EQ(image["stored_size"], 8);
  EXPECT_EQ(image["method"], 1);
  EXPECT_EQ(image["level"], 0);
  EXPECT_EQ(image["crc"], "22171707");  // zlib's crc32 of the eight bytes
  const auto& page = entries[0];
  EXPECT_EQ(page["method"], 0);
  EXPECT_EQ(page["offset"], 0);
  EXPECT_EQ(entries[1]["offset"], page["compressed_size"]);
  EXPECT_EQ(entries[3]["path"], "caf\xC3\xA9.htm");
  std::int64_t stored = 0;
  for (const auto& entry : entries) {
    stored += entry["stored_size"].get<std::int64_t>();
    const auto crc = entry["crc"].get<std::string>();
    EXPECT_EQ(crc.find_first_not_of("0123456789abcdef"), std::string::npos) << crc;
    EXPECT_EQ(entry["decrypt_size"], 0);
  }
  EXPECT_EQ(stored, listing["data_size"]);
}

// The compressed column holds what each entry takes in the file, so its total is the data area.
TEST_F(ListingOutput, ListTableShowsOneLinePerEntryAndTotals) {
  const auto result = RunTool({"list", document_.string()});
  ASSERT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("           8  stored        22171707  images/logo.png\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("guide/intro.htm\n"), std::string::npos);
  EXPECT_NE(result.out.find("caf\xC3\xA9.htm\n"), std::string::npos);
  const auto dataSize = RunJson({"list", "--json", document_.string()})["data_size"];
  const auto totals = result.out.substr(result.out.rfind("-\n") + 2);
  EXPECT_EQ(std::stoll(totals.substr(12, 13)), dataSize.get<std::int64_t>()) << totals;
  EXPECT_TRUE(totals.ends_with("5 entries\n")) << totals;
}

TEST_F(ListingOutput, InfoJsonHasTrailerAndDecodedOptions) {
  const auto info = RunJson({"info", "--json", document_.string()});
  EXPECT_EQ(info["version"], 1);
  EXPECT_EQ(info["trailer"]["Version"], 2);
  EXPECT_EQ(info["trailer"]["EntryCount"], 5);
  EXPECT_EQ(info["trailer"]["RegistryCompressed"], true);
  const auto& options = info["options"];
  EXPECT_EQ(options["StartPage"], "index.htm");
  EXPECT_EQ(options["WindowWidth"], 900);
  EXPECT_EQ(options["AllowCopy"], true);
  EXPECT_EQ(options["AllowPrint"], false);
  EXPECT_EQ(options["AccessPassword"], "");
  EXPECT_EQ(options.size(), 17u);
}

TEST_F(ListingOutput, InfoTextShowsTheStartUrl) {
  const auto result = RunTool({"info", document_.string()});
  ASSERT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("tome://inpack/index.htm"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("WindowWidth: 900"), std::string::npos);
}

TEST(ListingWithoutOptions, InfoGivesNullOptionsAndEmptyArchiveListsNothing) {
  TScratchFolder folder;
  const auto document = folder / "empty.tlt";
  TTestDocument().PlainRegistry().WriteTo(document);
  const auto info = RunTool({"info", "--json", document.string()});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_TRUE(json::parse(info.out)["options"].is_null());
  const auto listing = RunTool({"list", "--json", document.string()});
  ASSERT_EQ(listing.exitCode, 0);
  const auto parsed = json::parse(listing.out);
  EXPECT_EQ(parsed["entry_count"], 0);
  EXPECT_EQ(parsed["registry_compressed"], false);
  EXPECT_TRUE(parsed["entries"].empty());
}

TEST_F(ListingOutput, CatWritesExactBytesAndFoldsCase) {
  const auto image = RunTool({"cat", document_.string(), "IMAGES\\Logo.PNG"});
  EXPECT_EQ(image.exitCode, 0);
  EXPECT_EQ(image.out, kSampleBinary);
  EXPECT_EQ(RunTool({"cat", document_.string(), "index.htm"}).out, kSamplePage);
}

}  // namespace
}  // namespace tomelet::testing
