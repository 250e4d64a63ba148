#include "platform/urlmon/RequestDriver.h"

#include <algorithm>
#include <array>
#include <new>

#include "platform/com/ComObject.h"

namespace tomelet {
namespace {

// Answers the handler's questions and records what it reports.
class TRequestSink final : public TComObject<IInternetProtocolSink, IInternetBindInfo> {
 public:
  TRequestSink(IUnknown* outer, bool needFile) : TComObject(outer), needFile_(needFile) {}

  HRESULT GetBindInfo(DWORD* grfBINDF, BINDINFO* bindInfo) override {
    if (!grfBINDF || !bindInfo || bindInfo->cbSize < sizeof(BINDINFO))
      return E_INVALIDARG;
    *grfBINDF = BINDF_PULLDATA | (needFile_ ? BINDF_NEEDFILE : 0);
    bindInfo->dwBindVerb = 0;
    return S_OK;
  }

  HRESULT Switch(PROTOCOLDATA*) override { return E_NOTIMPL; }

  HRESULT ReportProgress(ULONG statusCode, LPCWSTR statusText) override {
    if (statusCode == BINDSTATUS_CACHEFILENAMEAVAILABLE && statusText) {
      cacheFileName = Utf16ToUtf8(statusText);
    }
    return S_OK;
  }

  HRESULT ReportData(DWORD bscf, ULONG, ULONG progressMax) override {
    reports.DataFlags = bscf;
    reports.DataSize = progressMax;
    return S_OK;
  }

  HRESULT ReportResult(HRESULT result, DWORD error, LPCWSTR) override {
    reports.ResultReported = true;
    reports.ReportedResult = result;
    reports.ReportedError = error;
    return S_OK;
  }

  TSinkReports reports;
  std::string cacheFileName;

 private:
  bool needFile_;
};

std::string_view WithoutFragment(std::string_view url) {
  return url.substr(0, url.find('#'));
}

std::string_view SchemeOf(std::string_view url) {
  auto colon = url.find(':');
  return colon == std::string_view::npos ? std::string_view{} : url.substr(0, colon);
}

// Reads into the result buffer sized from the announced length, so the normal case copies each
// byte once; a handler delivering more than it announced is still read to the end.
HRESULT ReadAll(TStartedRequest& request, ULONG announced, TRequestBytes& bytes) {
  bytes.resize(announced);
  std::size_t filled = 0;
  std::array<std::byte, 4096> overflow;
  for (;;) {
    const bool intoResult = filled < bytes.size();
    const std::span<std::byte> target =
        intoResult ? std::span(bytes).subspan(filled).first(
                         std::min<std::size_t>(kRequestReadBlock, bytes.size() - filled))
                   : std::span<std::byte>(overflow);
    std::size_t count = 0;
    const HRESULT hr = request.Read(target, count);
    if (FAILED(hr))
      return hr;
    if (!intoResult)
      bytes.insert(bytes.end(), overflow.begin(), overflow.begin() + count);
    filled += count;
    if (count == 0)
      break;
  }
  bytes.resize(filled);
  return S_OK;
}

RequestResult Outcome(RequestOutcome outcome, HRESULT hr) {
  RequestResult result;
  result.Outcome = outcome;
  result.Result = hr;
  return result;
}

RequestResult Start(IInternetProtocol& protocol, TRequestSink& sink, std::string_view url) {
  std::u16string wideUrl = Utf8ToUtf16(url);
  HRESULT hr = protocol.Start(wideUrl.c_str(), &sink, &sink, 0, 0);
  RequestResult result;
  if (hr == INET_E_USE_DEFAULT_PROTOCOLHANDLER) {
    result = Outcome(RequestOutcome::DeclinedToDefault, hr);
  } else if (FAILED(hr)) {
    result = Outcome(RequestOutcome::Failed, hr);
  } else if (sink.reports.ResultReported && FAILED(sink.reports.ReportedResult)) {
    result = Outcome(RequestOutcome::Failed, sink.reports.ReportedResult);
  } else if (hr == S_FALSE && !sink.reports.ResultReported) {
    result = Outcome(RequestOutcome::NotFound, hr);
  } else {
    result = Outcome(RequestOutcome::Served, S_OK);
  }
  result.CacheFileName = std::move(sink.cacheFileName);
  result.Reports = sink.reports;
  return result;
}

std::unique_ptr<TStartedRequest> Unstarted(RequestOutcome outcome, HRESULT hr) {
  return std::make_unique<TStartedRequest>(nullptr, Outcome(outcome, hr));
}

}  // namespace

TStartedRequest::TStartedRequest(ComPtr<IInternetProtocol> protocol, RequestResult head)
    : protocol_(std::move(protocol)), head_(std::move(head)) {}

TStartedRequest::~TStartedRequest() {
  if (protocol_)
    protocol_->Terminate(0);
}

HRESULT TStartedRequest::Read(std::span<std::byte> buffer, std::size_t& got) {
  got = 0;
  if (!protocol_ || ended_ || head_.Outcome != RequestOutcome::Served)
    return S_OK;
  ULONG count = 0;
  const auto room = static_cast<ULONG>(std::min<std::size_t>(buffer.size(), kRequestReadBlock));
  const HRESULT hr = protocol_->Read(buffer.data(), room, &count);
  if (FAILED(hr))
    return hr;
  got = std::min<std::size_t>(count, room);
  ended_ = hr == S_FALSE || got == 0;
  return S_OK;
}

std::unique_ptr<TStartedRequest> StartProtocolRequest(IInternetSession& session,
                                                      std::string_view url, bool needFile) {
  try {
    url = WithoutFragment(url);
    ComPtr<IClassFactory> factory;
    HRESULT hr =
        session.FindNameSpace(Utf8ToUtf16(SchemeOf(url)), factory.ReleaseAndGetAddressOf());
    if (FAILED(hr))
      return Unstarted(RequestOutcome::NoHandler, hr);
    ComPtr<IInternetProtocol> protocol;
    hr = factory->CreateInstance(nullptr, IID_IInternetProtocol, protocol.PutVoid());
    if (FAILED(hr) || !protocol)
      return Unstarted(RequestOutcome::Failed, FAILED(hr) ? hr : E_FAIL);
    auto sink = MakeComObject<TRequestSink>(needFile);
    RequestResult head = Start(*protocol, *sink, url);
    return std::make_unique<TStartedRequest>(std::move(protocol), std::move(head));
  } catch (const std::bad_alloc&) {
    return Unstarted(RequestOutcome::Failed, E_OUTOFMEMORY);
  }
}

RequestResult DriveProtocolRequest(IInternetSession& session, std::string_view url, bool needFile) {
  try {
    const auto request = StartProtocolRequest(session, url, needFile);
    RequestResult result = request->Head();
    if (result.Outcome != RequestOutcome::Served)
      return result;
    const HRESULT readResult = ReadAll(*request, result.Reports.DataSize, result.Bytes);
    if (FAILED(readResult)) {
      result.Outcome = RequestOutcome::Failed;
      result.Result = readResult;
    }
    return result;
  } catch (const std::bad_alloc&) {
    return Outcome(RequestOutcome::Failed, E_OUTOFMEMORY);
  }
}

}  // namespace tomelet
