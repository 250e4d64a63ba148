#include "FakeDocument.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "platform/com/ComObject.h"
#include "platform/urlmon/UrlMon.h"

namespace tomelet::testing {
namespace {

constexpr std::string_view kRoot = "tome://inpack/";

struct TServed {
  const std::map<std::string, std::string>* Pages;
  std::filesystem::path FileFolder;
  std::vector<std::string>* StartedUrls;
};

class TFakeProtocol final : public TComObject<IInternetProtocol> {
 public:
  TFakeProtocol(IUnknown* outer, TServed served) : TComObject(outer), served_(served) {}

  HRESULT Start(LPCWSTR url, IInternetProtocolSink* sink, IInternetBindInfo* bindInfo, DWORD,
                DWORD) override {
    const std::string text = Utf16ToUtf8(url);
    served_.StartedUrls->push_back(text);
    if (text.compare(0, kRoot.size(), kRoot) != 0)
      return INET_E_USE_DEFAULT_PROTOCOLHANDLER;
    const std::string path = text.substr(kRoot.size(), text.find('?') - kRoot.size());
    const auto found = served_.Pages->find(path);
    if (found == served_.Pages->end())
      return S_FALSE;
    contents_ = found->second;
    DWORD flags = 0;
    BINDINFO info;
    info.cbSize = sizeof(info);
    bindInfo->GetBindInfo(&flags, &info);
    if (flags & BINDF_NEEDFILE)
      sink->ReportProgress(BINDSTATUS_CACHEFILENAMEAVAILABLE, Utf8ToUtf16(WriteFile(path)).c_str());
    const auto size = static_cast<ULONG>(contents_.size());
    sink->ReportData(
        BSCF_FIRSTDATANOTIFICATION | BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE, size,
        size);
    sink->ReportResult(S_OK, 200, nullptr);
    return S_OK;
  }

  HRESULT Read(void* buffer, ULONG cb, ULONG* cbRead) override {
    const auto count = static_cast<ULONG>(std::min<std::size_t>(cb, contents_.size() - read_));
    std::memcpy(buffer, contents_.data() + read_, count);
    read_ += count;
    *cbRead = count;
    return read_ == contents_.size() ? S_FALSE : S_OK;
  }

  HRESULT Continue(PROTOCOLDATA*) override { return S_OK; }
  HRESULT Abort(HRESULT, DWORD) override { return S_OK; }
  HRESULT Terminate(DWORD) override { return S_OK; }
  HRESULT Suspend() override { return E_NOTIMPL; }
  HRESULT Resume() override { return E_NOTIMPL; }
  HRESULT Seek(std::int64_t, DWORD, std::uint64_t*) override { return E_NOTIMPL; }
  HRESULT LockRequest(DWORD) override { return S_OK; }
  HRESULT UnlockRequest() override { return S_OK; }

 private:
  std::string WriteFile(const std::string& path) {
    const auto file = served_.FileFolder / std::filesystem::path(path).filename();
    std::ofstream(file, std::ios::binary) << contents_;
    return file.string();
  }

  TServed served_;
  std::string contents_;
  std::size_t read_ = 0;
};

class TFakeFactory final : public TComObject<IClassFactory> {
 public:
  TFakeFactory(IUnknown* outer, std::map<std::string, std::string> pages,
               std::filesystem::path folder, std::vector<std::string>* startedUrls)
      : TComObject(outer),
        pages_(std::move(pages)),
        folder_(std::move(folder)),
        startedUrls_(startedUrls) {}

  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    return CreateComInstance<TFakeProtocol>(outer, iid, out,
                                            TServed{&pages_, folder_, startedUrls_});
  }
  HRESULT LockServer(bool) override { return S_OK; }

 private:
  std::map<std::string, std::string> pages_;
  std::filesystem::path folder_;
  std::vector<std::string>* startedUrls_;
};

constexpr CLSID kFakeClassId{0x1234ABCD, 0x1, 0x2, {0, 1, 2, 3, 4, 5, 6, 7}};

ComPtr<IInternetSession> Session() {
  ComPtr<IInternetSession> session;
  CoInternetGetSession(0, session.ReleaseAndGetAddressOf(), 0);
  return session;
}

}  // namespace

TFakeDocument::TFakeDocument(std::map<std::string, std::string> pages,
                             std::filesystem::path fileFolder) {
  auto factory =
      MakeComObject<TFakeFactory>(std::move(pages), std::move(fileFolder), &startedUrls_);
  factory_ = ComPtr<IClassFactory>(factory.Get());
  Session()->RegisterNameSpace(factory_.Get(), kFakeClassId, u"tome", 0, nullptr, 0);
}

TFakeDocument::~TFakeDocument() {
  Session()->UnregisterNameSpace(factory_.Get(), u"tome");
}

}  // namespace tomelet::testing
