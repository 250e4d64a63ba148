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
HRESULT ReadAll(IInternetProtocol& protocol, ULONG announced, TRequestBytes& bytes) {
  bytes.resize(announced);
  std::size_t filled = 0;
  std::array<std::byte, 4096> overflow;
  for (;;) {
    bool intoResult = filled < bytes.size();
    std::byte* target = intoResult ? bytes.data() + filled : overflow.data();
    auto room = static_cast<ULONG>(
        intoResult ? std::min<std::size_t>(kRequestReadBlock, bytes.size() - filled)
                   : overflow.size());
    ULONG count = 0;
    HRESULT hr = protocol.Read(target, room, &count);
    if (FAILED(hr))
      return hr;
    count = std::min(count, room);
    if (!intoResult)
      bytes.insert(bytes.end(), overflow.begin(), overflow.begin() + count);
    filled += count;
    if (hr == S_FALSE || count == 0)
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

RequestResult Serve(IInternetProtocol& protocol, TRequestSink& sink, std::string_view url) {
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
    HRESULT readResult = ReadAll(protocol, sink.reports.DataSize, result.Bytes);
    result.Outcome = FAILED(readResult) ? RequestOutcome::Failed : RequestOutcome::Served;
    result.Result = readResult;
  }
  result.CacheFileName = std::move(sink.cacheFileName);
  result.Reports = sink.reports;
  return result;
}

}  // namespace

RequestResult DriveProtocolRequest(IInternetSession& session, std::string_view url, bool needFile) {
  try {
    url = WithoutFragment(url);
    ComPtr<IClassFactory> factory;
    HRESULT hr =
        session.FindNameSpace(Utf8ToUtf16(SchemeOf(url)), factory.ReleaseAndGetAddressOf());
    if (FAILED(hr))
      return Outcome(RequestOutcome::NoHandler, hr);
    ComPtr<IInternetProtocol> protocol;
    hr = factory->CreateInstance(nullptr, IID_IInternetProtocol, protocol.PutVoid());
    if (FAILED(hr) || !protocol)
      return Outcome(RequestOutcome::Failed, FAILED(hr) ? hr : E_FAIL);
    auto sink = MakeComObject<TRequestSink>(needFile);
    RequestResult result = Serve(*protocol, *sink, url);
    protocol->Terminate(0);
    return result;
  } catch (const std::bad_alloc&) {
    return Outcome(RequestOutcome::Failed, E_OUTOFMEMORY);
  }
}

}  // namespace tomelet
