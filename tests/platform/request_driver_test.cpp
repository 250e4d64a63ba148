#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/com/ComObject.h"
#include "platform/com/ComServer.h"
#include "platform/urlmon/RequestDriver.h"

namespace tomelet {
namespace {

constexpr CLSID kScriptedClass{0x5C5C5C5C, 0x1111, 0x2222, {9, 8, 7, 6, 5, 4, 3, 2}};

// What the scripted handler does, and what it saw of the driver.
struct Script {
  HRESULT startResult = S_OK;
  std::string data;
  ULONG announcedSize = 0;
  bool announceActualSize = true;
  std::u16string cacheFile;
  HRESULT reportedResult = S_OK;
  HRESULT readFailure = S_OK;

  std::u16string seenUrl;
  DWORD seenBindFlags = 0;
  bool sawBindInfo = false;
  int terminates = 0;
  int alive = 0;
};

class TScriptedProtocol final : public TComObject<IInternetProtocol> {
 public:
  TScriptedProtocol(IUnknown* outer, Script* script) : TComObject(outer), script_(*script) {
    ++script_.alive;
  }
  ~TScriptedProtocol() override { --script_.alive; }

  HRESULT Start(LPCWSTR url, IInternetProtocolSink* sink, IInternetBindInfo* bindInfo, DWORD,
                DWORD) override {
    script_.seenUrl = url;
    BINDINFO info;
    info.cbSize = sizeof info;
    script_.sawBindInfo = bindInfo->GetBindInfo(&script_.seenBindFlags, &info) == S_OK;
    if (FAILED(script_.startResult) || script_.startResult == S_FALSE)
      return script_.startResult;
    if (!script_.cacheFile.empty()) {
      sink->ReportProgress(BINDSTATUS_CACHEFILENAMEAVAILABLE, script_.cacheFile.c_str());
    }
    ULONG size = script_.announceActualSize ? static_cast<ULONG>(script_.data.size())
                                            : script_.announcedSize;
    sink->ReportData(13, size, size);
    sink->ReportResult(script_.reportedResult, 200, nullptr);
    return script_.startResult;
  }
  HRESULT Read(void* buffer, ULONG cb, ULONG* cbRead) override {
    if (FAILED(script_.readFailure))
      return script_.readFailure;
    ULONG count = static_cast<ULONG>(std::min<std::size_t>(cb, script_.data.size() - position_));
    std::memcpy(buffer, script_.data.data() + position_, count);
    position_ += count;
    *cbRead = count;
    return count == 0 ? S_FALSE : S_OK;
  }
  HRESULT Terminate(DWORD) override {
    ++script_.terminates;
    return S_OK;
  }
  HRESULT Continue(PROTOCOLDATA*) override { return S_OK; }
  HRESULT Abort(HRESULT, DWORD) override { return S_OK; }
  HRESULT Suspend() override { return E_NOTIMPL; }
  HRESULT Resume() override { return E_NOTIMPL; }
  HRESULT Seek(std::int64_t, DWORD, std::uint64_t*) override { return S_OK; }
  HRESULT LockRequest(DWORD) override { return S_OK; }
  HRESULT UnlockRequest() override { return S_OK; }

 private:
  Script& script_;
  std::size_t position_ = 0;
};

class TScriptedFactory final : public TComObjectFactory {
 public:
  explicit TScriptedFactory(Script& script) : TComObjectFactory(kScriptedClass), script_(script) {}
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    return CreateComInstance<TScriptedProtocol>(outer, iid, out, &script_);
  }

 private:
  Script& script_;
};

class RequestDriverTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInternetGetSession(0, session.ReleaseAndGetAddressOf(), 0), S_OK);
    ASSERT_EQ(session->RegisterNameSpace(&factory, kScriptedClass, u"demo", 0, nullptr, 0), S_OK);
  }
  void TearDown() override {
    session->UnregisterNameSpace(&factory, u"demo");
    EXPECT_EQ(script.alive, 0);
  }
  RequestResult Drive(std::string_view url, bool needFile = false) {
    return DriveProtocolRequest(*session, url, needFile);
  }
  static std::string Text(const RequestResult& result) {
    return {reinterpret_cast<const char*>(result.Bytes.data()), result.Bytes.size()};
  }

  Script script;
  TScriptedFactory factory{script};
  ComPtr<IInternetSession> session;
};

TEST_F(RequestDriverTest, ServesTheBytesTheHandlerDelivers) {
  script.data = "<html>served</html>";
  RequestResult result = Drive("demo://host/page.htm");
  EXPECT_EQ(result.Outcome, RequestOutcome::Served);
  EXPECT_EQ(result.Result, S_OK);
  EXPECT_EQ(Text(result), script.data);
  EXPECT_EQ(result.Reports.DataFlags, 13u);
  EXPECT_EQ(result.Reports.DataSize, script.data.size());
  EXPECT_TRUE(result.Reports.ResultReported);
  EXPECT_EQ(result.Reports.ReportedError, 200u);
  EXPECT_EQ(script.terminates, 1);
}

// Data sizes against what the handler announced: the result holds exactly what was delivered.
struct Delivery {
  std::size_t size;
  bool announced;
  ULONG announcedSize;
};

class DeliveredSizes : public RequestDriverTest, public testing::WithParamInterface<Delivery> {};

TEST_P(DeliveredSizes, ResultHoldsEveryDeliveredByte) {
  script.data.assign(GetParam().size, 'x');
  if (!script.data.empty())
    script.data.back() = 'y';
  script.announceActualSize = GetParam().announced;
  script.announcedSize = GetParam().announcedSize;
  RequestResult result = Drive("demo://host/data");
  ASSERT_EQ(result.Outcome, RequestOutcome::Served);
  EXPECT_EQ(Text(result), script.data);
}

INSTANTIATE_TEST_SUITE_P(Sizes, DeliveredSizes,
                         testing::Values(Delivery{3 * kRequestReadBlock + 17, true, 0},
                                         Delivery{kRequestReadBlock, true, 0},
                                         Delivery{10000, false, 100}, Delivery{5, false, 4096},
                                         Delivery{0, false, 0}, Delivery{70000, false, 0}));

TEST_F(RequestDriverTest, TheFragmentNeverReachesTheHandler) {
  Drive("demo://host/a+b.htm?x=1#frag");
  EXPECT_EQ(script.seenUrl, u"demo://host/a+b.htm?x=1");
}

TEST_F(RequestDriverTest, BindFlagsCarryTheNeedForAFile) {
  Drive("demo://host/a", false);
  EXPECT_TRUE(script.sawBindInfo);
  EXPECT_EQ(script.seenBindFlags & BINDF_NEEDFILE, 0u);
  script.cacheFile = u"/tmp/private/caf\u00E9.pdf";
  RequestResult result = Drive("demo://host/a", true);
  EXPECT_EQ(script.seenBindFlags & BINDF_NEEDFILE, BINDF_NEEDFILE);
  EXPECT_EQ(result.CacheFileName, "/tmp/private/caf\xC3\xA9.pdf");
}

TEST_F(RequestDriverTest, StartWithoutResultIsNotFound) {
  script.startResult = S_FALSE;
  RequestResult result = Drive("demo://host/missing");
  EXPECT_EQ(result.Outcome, RequestOutcome::NotFound);
  EXPECT_TRUE(result.Bytes.empty());
  EXPECT_EQ(script.terminates, 1);
}

TEST_F(RequestDriverTest, DeclinedUrlsGoToTheDefaultHandling) {
  script.startResult = INET_E_USE_DEFAULT_PROTOCOLHANDLER;
  EXPECT_EQ(Drive("demo://other/x").Outcome, RequestOutcome::DeclinedToDefault);
}

TEST_F(RequestDriverTest, FailuresCarryTheirCode) {
  script.startResult = E_INVALIDARG;
  RequestResult startFailed = Drive("demo://host/x");
  EXPECT_EQ(startFailed.Outcome, RequestOutcome::Failed);
  EXPECT_EQ(startFailed.Result, E_INVALIDARG);

  script.startResult = S_OK;
  script.reportedResult = INET_E_DATA_NOT_AVAILABLE;
  RequestResult reportedFailure = Drive("demo://host/x");
  EXPECT_EQ(reportedFailure.Outcome, RequestOutcome::Failed);
  EXPECT_EQ(reportedFailure.Result, INET_E_DATA_NOT_AVAILABLE);

  script.reportedResult = S_OK;
  script.data = "abc";
  script.readFailure = E_FAIL;
  RequestResult readFailed = Drive("demo://host/x");
  EXPECT_EQ(readFailed.Outcome, RequestOutcome::Failed);
  EXPECT_EQ(readFailed.Result, E_FAIL);
}

TEST_F(RequestDriverTest, UnknownSchemesHaveNoHandler) {
  EXPECT_EQ(Drive("other://host/x").Outcome, RequestOutcome::NoHandler);
  EXPECT_EQ(Drive("no-scheme-at-all").Outcome, RequestOutcome::NoHandler);
  EXPECT_EQ(Drive("DEMO://host/x").Outcome, RequestOutcome::Served);
}

}  // namespace
}  // namespace tomelet
