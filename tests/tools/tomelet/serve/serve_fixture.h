// A document written with the archive writer and served on a free loopback port, with a plain
// HTTP client to ask it.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/Document.h"
#include "document/ProjectOptions.h"
#include "tools/tomelet/serve/DocumentServer.h"
#include "tools/tomelet/serve/DocumentSite.h"

namespace tomelet::serve::testing {

inline constexpr std::string_view kLogo{"\0\0\1\0logo", 8};

// Text that deflates well, so the entry is stored deflated.
std::string PageText(std::string_view title, std::size_t repeat);
// Bytes that do not deflate, so the writer stores them.
std::string NoiseBytes(std::size_t size, unsigned seed);
std::string Inflate(std::string_view zlibStream);

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class ServeTest : public ::testing::Test {
 protected:
  // The sample every test starts from; tests add entries before Serve().
  ServeTest();
  ~ServeTest() override;

  void AddEntry(std::string_view path, std::string_view contents,
                TFileCompressionLevel level = fcDefault);
  void SetOptions(std::string_view startPage, std::string_view password = {});
  // Writes the document and starts serving it.
  void Serve();
  // A client that asks for no content coding and inflates nothing.
  httplib::Client Client() const;
  httplib::Result Get(const std::string& target, const httplib::Headers& headers = {}) const;
  std::string Contents(std::string_view archivePath) const;

  TempFolder folder_;
  std::filesystem::path document_;
  TZLBArchiveWriter writer_;
  std::shared_ptr<const TDocument> archive_;
  std::unique_ptr<TDocumentSite> site_;
  std::unique_ptr<TDocumentServer> server_;
  // What Serve() starts the site and the server with.
  std::size_t memoryBudget_ = kDefaultMemoryBudget;
  TServerSettings settings_;
  // The password is the options' own, as the serve command takes it.
  TSiteRules rules_{.MaxAge = kDefaultMaxAge, .Password = {}, .Realm = "doc"};
  TProjectOptions options_;
  std::vector<std::pair<std::string, std::string>> contents_;
};

}  // namespace tomelet::serve::testing
