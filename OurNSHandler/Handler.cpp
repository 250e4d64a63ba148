#include <algorithm>
#include <limits>
#include <memory>
#include <new>

#include "OurNSHandler/HandlerState.h"
#include "document/DocumentAddress.h"
#include "document/DocumentRequest.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComServer.h"
#include "platform/text/Codepage.h"

namespace tomelet {
namespace {

constexpr DWORD kAllDataAvailable =
    BSCF_FIRSTDATANOTIFICATION | BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE;
constexpr DWORD kHttpOk = 200;
constexpr std::string_view kCombinableStart = "file:///";

// Stores the answer's size as twice its length in characters, as callers of this handler
// expect, and writes the text with its terminating zero only when that size fits cchResult.
HRESULT WriteSizedResult(std::u16string_view text, LPWSTR result, DWORD cchResult,
                         DWORD* pcchResult) {
  if (!pcchResult)
    return E_POINTER;
  auto needed = static_cast<DWORD>(2 * text.size());
  *pcchResult = needed;
  if (needed > cchResult)
    return S_FALSE;
  if (!result)
    return E_POINTER;
  text.copy(result, text.size());
  result[text.size()] = u'\0';
  return S_OK;
}

class TOurNSHandler final
    : public TComObject<ISupportErrorInfo, IInternetProtocolInfo, IInternetProtocol> {
 public:
  TOurNSHandler(IUnknown* outer, std::shared_ptr<THandlerState> state)
      : TComObject(outer), state_(std::move(state)) {}

  HRESULT InterfaceSupportsErrorInfo(REFIID iid) override {
    return iid == IID_IUnknown || FindInterface(iid) ? S_OK : S_FALSE;
  }

  HRESULT ParseUrl(LPCWSTR, DWORD parseAction, DWORD, LPWSTR result, DWORD cchResult,
                   DWORD* pcchResult, DWORD) override {
    if (parseAction != PARSE_SECURITY_URL)
      return E_NOTIMPL;
    return WriteSizedResult(Utf8ToUtf16(kDocumentUrlPrefix), result, cchResult, pcchResult);
  }

  HRESULT CombineUrl(LPCWSTR, LPCWSTR relativeUrl, DWORD, LPWSTR result, DWORD cchResult,
                     DWORD* pcchResult, DWORD) override {
    if (!relativeUrl)
      return E_INVALIDARG;
    try {
      std::string relative = UrlDecode(Utf16ToUtf8(relativeUrl));
      if (!relative.starts_with(kCombinableStart) ||
          relative.find(kDocumentScheme) == std::string::npos) {
        return INET_E_USE_DEFAULT_PROTOCOLHANDLER;
      }
      relative.erase(0, kCombinableStart.size());
      std::replace(relative.begin(), relative.end(), '|', ':');
      return WriteSizedResult(Utf8ToUtf16(relative), result, cchResult, pcchResult);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  HRESULT CompareUrl(LPCWSTR, LPCWSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT QueryInfo(LPCWSTR, DWORD, DWORD, void*, DWORD, DWORD*, DWORD) override {
    return E_NOTIMPL;
  }

  HRESULT Start(LPCWSTR url, IInternetProtocolSink* sink, IInternetBindInfo* bindInfo, DWORD,
                DWORD) override {
    if (!url || !sink)
      return E_INVALIDARG;
    try {
      return StartRequest(url, *sink, bindInfo);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
  }

  HRESULT Continue(PROTOCOLDATA*) override { return S_OK; }
  HRESULT Abort(HRESULT, DWORD) override { return S_OK; }
  HRESULT Terminate(DWORD) override {
    Sink.Reset();
    return S_OK;
  }
  HRESULT Suspend() override { return E_NOTIMPL; }
  HRESULT Resume() override { return E_NOTIMPL; }

  HRESULT Read(void* buffer, ULONG cb, ULONG* cbRead) override {
    if (!cbRead)
      return E_POINTER;
    *cbRead = 0;
    if (ReadPos >= ContentSize)
      return S_FALSE;
    if (LargeContents)
      return ReadLargeContents(buffer, cb, cbRead);
    ContentStream->Read(buffer, cb, cbRead);
    ReadPos += *cbRead;
    return S_OK;
  }

  HRESULT Seek(std::int64_t, DWORD, std::uint64_t*) override { return S_OK; }
  HRESULT LockRequest(DWORD) override { return S_OK; }
  HRESULT UnlockRequest() override { return S_OK; }

 private:
  void ReadBindFlags(IInternetBindInfo* bindInfo) {
    NeedFile = false;
    if (!bindInfo)
      return;
    DWORD flags = 0;
    BINDINFO info;
    info.cbSize = sizeof info;
    if (bindInfo->GetBindInfo(&flags, &info) == S_OK)
      NeedFile = (flags & BINDF_NEEDFILE) != 0;
  }

  HRESULT StartRequest(LPCWSTR wideUrl, IInternetProtocolSink& sink, IInternetBindInfo* bindInfo) {
    ReadBindFlags(bindInfo);
    std::string url = Utf16ToUtf8(wideUrl);
    state_->Log("Start widechar: " + url);
    state_->Log("Start ansistring: " + url);
    if (!HasDocumentPrefix(url)) {
      state_->Log("Default handler for: " + url);
      return INET_E_USE_DEFAULT_PROTOCOLHANDLER;
    }
    RequestUrl = url;
    Sink = &sink;
    TDocumentReply reply = OpenEntryStream(url);
    switch (reply.Status) {
      case TDocumentReply::TStatus::NotFound:
        ContentSize = 0;
        return S_FALSE;
      case TDocumentReply::TStatus::Unreadable:
        return Fail(INET_E_DATA_NOT_AVAILABLE);
      case TDocumentReply::TStatus::FileFailed:
        return Fail(E_FAIL);
      case TDocumentReply::TStatus::Served:
        break;
    }
    return Deliver(std::move(reply));
  }

  // The request core looks the entry up (with its Windows-1252 retry), inflates it and, when a
  // file is needed, writes it from the bytes already inflated, so the entry is inflated once.
  TDocumentReply OpenEntryStream(const std::string& url) {
    TTempFileWriter writeTempFile;
    if (NeedFile) {
      writeTempFile = [this](const std::string& storedPath, std::span<const std::byte> bytes) {
        return ExtractToTempFile(*state_, storedPath, bytes);
      };
    }
    TDocumentReply reply;
    if (const TDocument* document = state_->Document()) {
      reply = RequestDocumentEntry(*document, url, writeTempFile);
    } else {
      // Without an open archive nothing is found.
      reply.Location.RequestedPath =
          RelativeAddressToArchivePath(std::string_view(url).substr(kDocumentUrlPrefix.size()));
      reply.Location.Entry.ArchivePath = reply.Location.RequestedPath;
    }
    const TEntryLocation& location = reply.Location;
    state_->Log("Get data for: " + location.RequestedPath);
    if (reply.Status == TDocumentReply::TStatus::NotFound)
      state_->Log("Not found : " + location.Entry.ArchivePath);
    else
      state_->Log("Send data for: " + location.Entry.ArchivePath);
    return reply;
  }

  HRESULT Deliver(TDocumentReply&& reply) {
    if (reply.LargeContents) {
      LargeContents = std::move(reply.LargeContents);
      ContentSize = reply.Location.Size;
      ReadPos = 0;
    } else if (HRESULT hr = FillContentStream(std::move(reply.Contents)); FAILED(hr)) {
      return Fail(hr);
    }
    if (NeedFile) {
      state_->tempFileList.push_back(reply.TempFileName);
      Sink->ReportProgress(BINDSTATUS_CACHEFILENAMEAVAILABLE,
                           Utf8ToUtf16(reply.TempFileName).c_str());
    }
    const auto size =
        static_cast<ULONG>(std::min<std::int64_t>(ContentSize, std::numeric_limits<ULONG>::max()));
    Sink->ReportData(kAllDataAvailable, size, size);
    Sink->ReportResult(S_OK, kHttpOk, nullptr);
    return S_OK;
  }

  HRESULT FillContentStream(TMemoryStream&& contents) {
    HRESULT hr = CreateStreamOnMemory(std::move(contents), ContentStream.ReleaseAndGetAddressOf());
    if (FAILED(hr))
      return hr;
    std::uint64_t end = 0;
    ContentStream->Seek(0, STREAM_SEEK_END, &end);
    ContentSize = static_cast<std::int64_t>(end);
    ContentStream->Seek(0, STREAM_SEEK_SET, nullptr);
    ReadPos = 0;
    return S_OK;
  }

  // A large entry inflates as it is read, so damage found on the way fails this read.
  HRESULT ReadLargeContents(void* buffer, ULONG cb, ULONG* cbRead) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(cb, ContentSize - ReadPos));
    try {
      *cbRead =
          static_cast<ULONG>(LargeContents->Read(std::span(static_cast<std::byte*>(buffer), want)));
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return INET_E_DATA_NOT_AVAILABLE;
    }
    ReadPos += *cbRead;
    return *cbRead == 0 ? S_FALSE : S_OK;
  }

  HRESULT Fail(HRESULT hr) {
    Sink->ReportResult(hr, 0, nullptr);
    return hr;
  }

  bool NeedFile = false;
  std::string RequestUrl;
  std::int64_t ReadPos = 0;
  std::int64_t ContentSize = 0;
  ComPtr<IInternetProtocolSink> Sink;
  ComPtr<IStream> ContentStream;
  std::unique_ptr<TEntryReader> LargeContents;
  std::shared_ptr<THandlerState> state_;
  TLiveObjectToken live_;
};

}  // namespace

HRESULT CreateOurNSHandler(std::shared_ptr<THandlerState> state, IUnknown* outer, REFIID iid,
                           void** out) {
  return CreateComInstance<TOurNSHandler>(outer, iid, out, std::move(state));
}

}  // namespace tomelet
