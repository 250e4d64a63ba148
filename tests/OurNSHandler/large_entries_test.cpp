#include <thread>

#include "document/DocumentRequest.h"
#include "tests/OurNSHandler/HandlerFixture.h"
#include "tests/support/ArchiveBytes.h"

namespace tomelet {
namespace {

using testing_support::HandlerTest;
using testing_support::TTestDocument;
using testing_support::Text;

std::string NumberedLines(std::size_t size) {
  std::string text;
  for (int line = 0; text.size() < size; ++line)
    text += "line " + std::to_string(line) + " of a page too large to hold at once\n";
  text.resize(size);
  return text;
}

// Entries above the size the handler holds whole: one sound, one whose record claims 32 times
// what its stream gives (a claim its stream's length could back, so only reading finds out).
class LargeEntries : public HandlerTest {
 protected:
  void AddEntries(TTestDocument& document) override {
    document.Entry("big.txt", big)
        .Claiming("claim.txt", testing::Deflated(NumberedLines(1 << 20)), std::int64_t{32} << 20);
  }

  static std::string ReadRest(TStartedRequest& request, HRESULT& failure) {
    std::string text;
    std::vector<std::byte> piece(kRequestReadBlock);
    std::size_t got = 0;
    while (SUCCEEDED(failure = request.Read(piece, got)) && got > 0)
      text += std::string_view(reinterpret_cast<const char*>(piece.data()), got);
    return text;
  }

  const std::string big = NumberedLines(kLargestHeldEntry + (1 << 20) + 7);
};

TEST_F(LargeEntries, AreReadOnAnotherThreadAfterTheStartHasAnsweredAndTheArchiveClosed) {
  const auto started = StartProtocolRequest(*session, "tome://inpack/big.txt", false);
  ASSERT_EQ(started->Head().Outcome, RequestOutcome::Served);
  EXPECT_EQ(started->Head().Reports.DataSize, big.size());
  archive.CloseArchive();
  std::string text;
  HRESULT failure = E_FAIL;
  std::thread reader([&] { text = ReadRest(*started, failure); });
  reader.join();
  EXPECT_EQ(failure, S_OK);
  EXPECT_TRUE(text == big) << "read " << text.size() << " of " << big.size() << " bytes";
}

TEST_F(LargeEntries, AClaimItsStreamCannotFillFailsTheReadThatRunsDry) {
  const auto started = StartProtocolRequest(*session, "tome://inpack/claim.txt", false);
  ASSERT_EQ(started->Head().Outcome, RequestOutcome::Served);
  HRESULT failure = S_OK;
  EXPECT_EQ(ReadRest(*started, failure).size(), std::size_t{1} << 20);
  EXPECT_EQ(failure, INET_E_DATA_NOT_AVAILABLE);
  const RequestResult whole = Drive("tome://inpack/claim.txt");
  EXPECT_EQ(whole.Outcome, RequestOutcome::Failed);
  EXPECT_EQ(whole.Result, INET_E_DATA_NOT_AVAILABLE);
}

TEST_F(LargeEntries, AFileIsStillWrittenWholeWhenOneIsNeeded) {
  const RequestResult result = Drive("tome://inpack/big.txt", true);
  ASSERT_EQ(result.Outcome, RequestOutcome::Served);
  EXPECT_FALSE(result.CacheFileName.empty());
  EXPECT_EQ(std::filesystem::file_size(result.CacheFileName), big.size());
  EXPECT_TRUE(Text(result) == big);
}

}  // namespace
}  // namespace tomelet
