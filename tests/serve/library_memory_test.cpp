// What a library holds in memory is bounded for the whole server: one budget for the entries of
// every document, and only the most recently used documents open, while replies already under
// way on a closed document finish on its bytes.
#include "tests/serve/library_fixture.h"

namespace tomelet::serve::testing {
namespace {

// Both documents' big.txt, deflated: more than half the budget below, so only one fits at once.
const std::string kBig = PageText("big", 20000);
constexpr std::size_t kBudget = std::size_t{768} << 10;

using LibraryMemoryTest = LibraryTest;

TSiteResponse Ask(const TLibrarySite& site, std::string_view target) {
  TSiteRequest request;
  request.Method = "GET";
  request.Target = target;
  return site.Respond(request);
}

std::string ReadAll(TSiteResponse& response) {
  std::string read;
  for (auto piece = response.Body->Next(); !piece.empty(); piece = response.Body->Next()) {
    read.append(reinterpret_cast<const char*>(piece.data()), piece.size());
  }
  return read;
}

TEST_F(LibraryMemoryTest, EveryDocumentTakesItsEntriesFromTheServersOneBudget) {
  ASSERT_GT(kBig.size(), kBudget / 2);
  ASSERT_LT(kBig.size(), kBudget);
  const auto entries = std::make_shared<TEntryCache>(kBudget);
  Serve({}, entries);
  auto first = Ask(*site_, "/python-3/big.txt");
  ASSERT_EQ(first.Status, 200);
  EXPECT_EQ(entries->Held(), kBig.size());
  // The other document's entry no longer fits beside it: it is streamed, with the same bytes.
  auto second = Ask(*site_, "/de-handbuch/big.txt");
  ASSERT_EQ(second.Status, 200);
  EXPECT_EQ(entries->Held(), kBig.size());
  EXPECT_TRUE(ReadAll(second) == kBig);
  EXPECT_TRUE(ReadAll(first) == kBig);
  first = {};
  EXPECT_EQ(entries->Held(), 0u);
  auto third = Ask(*site_, "/de-handbuch/big.txt");
  EXPECT_EQ(entries->Held(), kBig.size());
  EXPECT_TRUE(ReadAll(third) == kBig);
}

TEST_F(LibraryMemoryTest, OnlyTheLastDocumentUsedStaysOpenAndAReplyUnderWayFinishesOnItsBytes) {
  Serve({}, nullptr, 1);
  auto pending = Ask(*site_, "/python-3/big.txt");
  ASSERT_EQ(pending.Status, 200);
  const auto python = library_->Find("python-3");
  EXPECT_TRUE(python->IsOpen());

  const auto page = Get("/de-handbuch/index.html");
  ASSERT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("Häuser"), std::string::npos);
  EXPECT_FALSE(python->IsOpen());
  EXPECT_TRUE(ReadAll(pending) == kBig);

  // Opened again with the same answers, closing the other.
  EXPECT_TRUE(Get("/python-3/big.txt")->body == kBig);
  EXPECT_TRUE(python->IsOpen());
  EXPECT_FALSE(library_->Find("de-handbuch")->IsOpen());
  EXPECT_EQ(Docs(Search("q=dictionary")).size(), 2u);
  EXPECT_EQ(OwnSearch("/de-handbuch/-/search.json?q=haus")["results"].size(), 1u);
}

}  // namespace
}  // namespace tomelet::serve::testing
