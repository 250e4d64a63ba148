#include <algorithm>
#include <new>
#include <optional>

#include "OurNSHandler/HandlerState.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComServer.h"
#include "platform/text/Codepage.h"

namespace tomelet {
namespace {

constexpr DWORD kAllDataAvailable =
    BSCF_FIRSTDATANOTIFICATION | BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE;
constexpr DWORD kHttpOk = 200;
constexpr std::u16string_view kSecurityUrl = u"tome://inpack/";
constexpr std::string_view kCombinableStart = "file:///";

bool HasDocumentPrefix(std::string_view url) {
  if (url.size() < kDocumentUrlPrefix.size())
    return false;
  for (std::size_t i = 0; i < kDocumentUrlPrefix.size(); ++i) {
    char c = url[i];
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
    if (c != kDocumentUrlPrefix[i])
      return false;
  }
  return true;
}

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

struct TOpenedEntry {
  std::string storedPath;
  TMemoryStream contents;
};

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
    return WriteSizedResult(kSecurityUrl, result, cchResult, pcchResult);
  }

  HRESULT CombineUrl(LPCWSTR, LPCWSTR relativeUrl, DWORD, LPWSTR result, DWORD cchResult,
                     DWORD* pcchResult, DWORD) override {
    if (!relativeUrl)
      return E_INVALIDARG;
    try {
      std::string relative = UrlDecode(Utf16ToUtf8(relativeUrl));
      if (!relative.starts_with(kCombinableStart) || relative.find("tome") == std::string::npos) {
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
    std::optional<TOpenedEntry> entry;
    try {
      entry = OpenEntryStream(url);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (...) {
      return Fail(INET_E_DATA_NOT_AVAILABLE);
    }
    if (!entry) {
      ContentSize = 0;
      return S_FALSE;
    }
    return Deliver(std::move(*entry));
  }

  // Looks the entry up, as decoded and then in its Windows-1252 form (the text of names in
  // documents made on Windows), and inflates it; throws when the entry cannot be inflated.
  std::optional<TOpenedEntry> OpenEntryStream(const std::string& url) {
    std::string path = UrlToArchivePath(url);
    state_->Log("Get data for: " + path);
    int index = IndexOf(path);
    if (index < 0) {
      if (auto legacy = Utf8ToWindows1252(path); legacy && *legacy != path) {
        index = IndexOf(*legacy);
        if (index >= 0)
          path = std::move(*legacy);
      }
    }
    if (index < 0) {
      state_->Log("Not found : " + path);
      return std::nullopt;
    }
    state_->Log("Send data for: " + path);
    TOpenedEntry entry{state_->archive->EntryAt(index).ArchivePath(), {}};
    state_->archive->ExtractToStream(entry.contents, path);
    return entry;
  }

  // A closed or detached archive holds no entries.
  int IndexOf(const std::string& path) const {
    TZLBArc2* archive = state_->archive;
    if (!archive)
      return -1;
    try {
      return archive->IndexOfEntry(path);
    } catch (const EZLBArchiveError&) {
      return -1;
    }
  }

  // The file, when one is needed, is written from the bytes already inflated, so the entry is
  // inflated once per request; a failure to write it is reported to the sink.
  HRESULT Deliver(TOpenedEntry&& entry) {
    std::string fileName;
    if (NeedFile) {
      try {
        fileName = ExtractToTempFile(*state_, entry.storedPath, entry.contents.Bytes());
      } catch (const std::bad_alloc&) {
        throw;
      } catch (...) {
        return Fail(E_FAIL);
      }
    }
    HRESULT hr = FillContentStream(std::move(entry.contents));
    if (FAILED(hr))
      return Fail(hr);
    if (NeedFile) {
      state_->tempFileList.push_back(fileName);
      Sink->ReportProgress(BINDSTATUS_CACHEFILENAMEAVAILABLE, Utf8ToUtf16(fileName).c_str());
    }
    auto size = static_cast<ULONG>(ContentSize);
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
  std::shared_ptr<THandlerState> state_;
  TLiveObjectToken live_;
};

}  // namespace

HRESULT CreateOurNSHandler(std::shared_ptr<THandlerState> state, IUnknown* outer, REFIID iid,
                           void** out) {
  return CreateComInstance<TOurNSHandler>(outer, iid, out, std::move(state));
}

}  // namespace tomelet
