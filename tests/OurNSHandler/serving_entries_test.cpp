#include "tests/OurNSHandler/HandlerFixture.h"

namespace tomelet {
namespace {

using testing_support::HandlerTest;
using testing_support::TTestDocument;
using testing_support::Text;
using testing_support::TRecordingSink;

class ServingEntries : public HandlerTest {};

TEST_F(ServingEntries, ServesAnEntryAndReportsItAsFullyAvailable) {
  RequestResult result = Drive("tome://inpack/index.htm");
  ASSERT_EQ(result.Outcome, RequestOutcome::Served);
  EXPECT_EQ(Text(result), "<html>index</html>");
  EXPECT_EQ(result.Reports.DataFlags, 13u);
  EXPECT_EQ(result.Reports.DataSize, 18u);
  EXPECT_EQ(result.Reports.ReportedResult, S_OK);
  EXPECT_EQ(result.Reports.ReportedError, 200u);
  EXPECT_TRUE(result.CacheFileName.empty());
}

struct UrlCase {
  const char* url;
  const char* contents;
};

class ServedUrls : public HandlerTest, public ::testing::WithParamInterface<UrlCase> {};

TEST_P(ServedUrls, ReachTheirEntry) {
  RequestResult result = Drive(GetParam().url);
  ASSERT_EQ(result.Outcome, RequestOutcome::Served) << GetParam().url;
  EXPECT_EQ(Text(result), GetParam().contents);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, ServedUrls,
    ::testing::Values(UrlCase{"TOME://INPACK/Index.htm", "<html>index</html>"},
                      UrlCase{"tome://InPack/INDEX.HTM", "<html>index</html>"},
                      UrlCase{"tome://inpack/img/a%20b.gif?x=1", "GIF89a-space"},
                      UrlCase{"tome://inpack/a+b.htm", "space page"},
                      UrlCase{"tome://inpack/a%2Bb.htm", "plus page"},
                      UrlCase{"tome://inpack/sub%2fpage.htm", "sub page"},
                      UrlCase{"tome://inpack/sub/page.htm#section", "sub page"},
                      UrlCase{"tome://inpack/caf%C3%A9.htm", "legacy name"},
                      UrlCase{"tome://inpack/caf%E9.htm", "legacy name"},
                      UrlCase{"tome://inpack/caf\xC3\xA9.htm", "legacy name"},
                      // The document's root shows its index page.
                      UrlCase{"tome://inpack/", "<html>index</html>"}));

class MissedUrls : public HandlerTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(MissedUrls, AreNotFound) {
  RequestResult result = Drive(GetParam());
  EXPECT_EQ(result.Outcome, RequestOutcome::NotFound) << GetParam();
  EXPECT_FALSE(result.Reports.ResultReported);
  EXPECT_EQ(result.Reports.DataFlags, 0u);
}

INSTANTIATE_TEST_SUITE_P(Urls, MissedUrls,
                         ::testing::Values("tome://inpack/missing.htm", "tome://inpack/img/",
                                           "tome://inpack/a%zzb.htm", "tome://inpack/index.htm%4",
                                           "tome://inpack/img%5Ca b.gif.bak"));

TEST_F(ServingEntries, RequestLogTellsServedMissingAndDeclinedRequestsApart) {
  EXPECT_EQ(Drive("TOME://INPACK/Index.htm").Outcome, RequestOutcome::Served);
  EXPECT_EQ(Drive("tome://inpack/no%20such.htm").Outcome, RequestOutcome::NotFound);
  RequestResult declined = Drive("tome://other/x.htm");
  EXPECT_EQ(declined.Outcome, RequestOutcome::DeclinedToDefault);
  EXPECT_EQ(declined.Result, INET_E_USE_DEFAULT_PROTOCOLHANDLER);
  std::vector<std::string> expected{"Start widechar: TOME://INPACK/Index.htm",
                                    "Start ansistring: TOME://INPACK/Index.htm",
                                    "Get data for: Index.htm",
                                    "Send data for: Index.htm",
                                    "Start widechar: tome://inpack/no%20such.htm",
                                    "Start ansistring: tome://inpack/no%20such.htm",
                                    "Get data for: no such.htm",
                                    "Not found : no such.htm",
                                    "Start widechar: tome://other/x.htm",
                                    "Start ansistring: tome://other/x.htm",
                                    "Default handler for: tome://other/x.htm"};
  EXPECT_EQ(module->RequestLog(), expected);
}

class DirectRequest : public HandlerTest {
 protected:
  ComPtr<TRecordingSink> sink = MakeComObject<TRecordingSink>(DWORD{0}, S_OK);
};

TEST_F(DirectRequest, EntryOfExactlyTheReadSizeTakesOneReadThenEnds) {
  auto handler = NewHandler();
  ASSERT_EQ(handler->Start(u"tome://inpack/index.htm", sink.Get(), sink.Get(), 0, 0), S_OK);
  char buffer[18];
  ULONG count = 99;
  EXPECT_EQ(handler->Read(buffer, sizeof buffer, &count), S_OK);
  EXPECT_EQ(count, 18u);
  EXPECT_EQ(std::string(buffer, count), "<html>index</html>");
  EXPECT_EQ(handler->Read(buffer, sizeof buffer, &count), S_FALSE);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(handler->Terminate(0), S_OK);
}

TEST_F(DirectRequest, EmptyEntryAnswersItsFirstReadWithSFalse) {
  auto handler = NewHandler();
  ASSERT_EQ(handler->Start(u"tome://inpack/empty.txt", sink.Get(), sink.Get(), 0, 0), S_OK);
  ASSERT_EQ(sink->data.size(), 1u);
  EXPECT_EQ(sink->data[0].progressMax, 0u);
  char buffer[4];
  ULONG count = 99;
  EXPECT_EQ(handler->Read(buffer, sizeof buffer, &count), S_FALSE);
  EXPECT_EQ(count, 0u);
}

TEST_F(DirectRequest, MissingUrlOrSinkIsRefusedWithoutALogLine) {
  auto handler = NewHandler();
  EXPECT_EQ(handler->Start(nullptr, sink.Get(), sink.Get(), 0, 0), E_INVALIDARG);
  EXPECT_EQ(handler->Start(u"tome://inpack/index.htm", nullptr, sink.Get(), 0, 0), E_INVALIDARG);
  EXPECT_TRUE(module->RequestLog().empty());
}

TEST_F(DirectRequest, TheSinkIsHeldUntilTerminateReleasesItOnce) {
  ULONG before = sink->References();
  auto handler = NewHandler();
  ASSERT_EQ(handler->Start(u"tome://inpack/index.htm", sink.Get(), nullptr, 0, 0), S_OK);
  EXPECT_EQ(sink->References(), before + 1);
  handler->Terminate(0);
  EXPECT_EQ(sink->References(), before);
  handler->Terminate(0);
  EXPECT_EQ(sink->References(), before);
}

TEST_F(DirectRequest, BindInformationIsAskedWithItsSizeAndAFailureMeansNoFile) {
  auto refusing = MakeComObject<TRecordingSink>(BINDF_NEEDFILE, E_FAIL);
  auto handler = NewHandler();
  ASSERT_EQ(handler->Start(u"tome://inpack/index.htm", refusing.Get(), refusing.Get(), 0, 0), S_OK);
  EXPECT_EQ(refusing->seenBindInfoSize, sizeof(BINDINFO));
  EXPECT_TRUE(refusing->progress.empty());
  EXPECT_TRUE(module->TempFileList().empty());
}

TEST_F(ServingEntries, UnregisteredProtocolNoLongerReachesTheHandler) {
  registration.Unregister();
  EXPECT_EQ(Drive("tome://inpack/index.htm").Outcome, RequestOutcome::NoHandler);
  EXPECT_TRUE(module->RequestLog().empty());
}

TEST_F(ServingEntries, EndedModuleLeavesNoRegistrationBehind) {
  registration.Unregister();
  ASSERT_EQ(
      session->RegisterNameSpace(&module->Factory(), OurNSHandlerClassID, u"tome", 0, nullptr, 0),
      S_OK);
  module.reset();
  EXPECT_EQ(Drive("tome://inpack/index.htm").Outcome, RequestOutcome::NoHandler);
}

TEST_F(ServingEntries, HandlerObjectsCountAsLiveOnlyWhileTheyExist) {
  long before = LiveObjectCount();
  {
    auto handler = NewHandler();
    EXPECT_EQ(LiveObjectCount(), before + 1);
    EXPECT_TRUE(TerminationNeedsConfirmation());
  }
  Drive("tome://inpack/index.htm");
  EXPECT_EQ(LiveObjectCount(), before);
}

TEST_F(ServingEntries, RequestLogStaysInMemoryByDefault) {
  ::testing::internal::CaptureStderr();
  Drive("tome://inpack/index.htm");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

class EchoedRequestLog : public HandlerTest {
 protected:
  void SetUp() override {
    setenv("G_MESSAGES_DEBUG", "Gtk Tomelet-Protocol", 1);
    HandlerTest::SetUp();
    unsetenv("G_MESSAGES_DEBUG");
  }
};

TEST_F(EchoedRequestLog, GoesToStandardErrorWhenItsDomainIsAskedFor) {
  ::testing::internal::CaptureStderr();
  Drive("tome://inpack/index.htm");
  std::string echoed = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(echoed.find("Tomelet-Protocol-DEBUG: Send data for: index.htm\n"), std::string::npos);
  EXPECT_EQ(module->RequestLog().size(), 4u);
}

class DamagedDocument : public HandlerTest {
 protected:
  void AddEntries(TTestDocument& document) override {
    document.Entry("good.htm", "fine").Claiming("damaged.htm", std::string(8, '\xAB'), 100);
  }
};

TEST_F(DamagedDocument, InflationFailureIsReportedNotThrown) {
  RequestResult result = Drive("tome://inpack/damaged.htm");
  EXPECT_EQ(result.Outcome, RequestOutcome::Failed);
  EXPECT_EQ(result.Result, INET_E_DATA_NOT_AVAILABLE);
  EXPECT_TRUE(result.Reports.ResultReported);
  EXPECT_EQ(result.Reports.ReportedResult, INET_E_DATA_NOT_AVAILABLE);
  EXPECT_EQ(Text(Drive("tome://inpack/good.htm")), "fine");
}

TEST_F(DamagedDocument, ClosedArchiveServesNothing) {
  archive.CloseArchive();
  EXPECT_EQ(Drive("tome://inpack/good.htm").Outcome, RequestOutcome::NotFound);
}

}  // namespace
}  // namespace tomelet
