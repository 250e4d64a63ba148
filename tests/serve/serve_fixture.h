// A test document served on a free loopback port, with a plain HTTP client to ask it.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "document/Document.h"
#include "serve/DocumentServer.h"
#include "serve/DocumentSite.h"
#include "tests/support/ArchiveBytes.h"
#include "tests/support/TestDocument.h"

namespace tomelet::serve::testing {

using tomelet::testing::Crc;
using tomelet::testing::Deflated;
using tomelet::testing::Inflate;
using tomelet::testing::NoiseBytes;
using tomelet::testing::PageText;
using tomelet::testing::TScratchFolder;
using tomelet::testing::TTestDocument;

inline constexpr std::string_view kLogo{"\0\0\1\0logo", 8};

class ServeTest : public ::testing::Test {
 protected:
  // The sample every test starts from; tests add entries to testDocument_ before Serve().
  ServeTest();
  ~ServeTest() override;

  // Writes the document with its logo and starts serving it.
  void Serve();
  // A client that asks for no content coding and inflates nothing.
  httplib::Client Client() const;
  httplib::Result Get(const std::string& target, const httplib::Headers& headers = {}) const;
  // The body of a 200 "application/json" reply to target, parsed.
  nlohmann::json GetJson(const std::string& target) const;

  TScratchFolder folder_;
  std::filesystem::path document_;
  TTestDocument testDocument_;
  std::shared_ptr<const TDocument> archive_;
  std::unique_ptr<TDocumentSite> site_;
  std::unique_ptr<TDocumentServer> server_;
  // What Serve() starts the site and the server with.
  std::size_t memoryBudget_ = kDefaultMemoryBudget;
  TServerSettings settings_;
  // The password is the options' own, as the serve command takes it.
  TSiteRules rules_{.MaxAge = kDefaultMaxAge, .Password = {}, .Realm = "doc"};
};

}  // namespace tomelet::serve::testing
