// A real document archive served by the registered handler, for the handler's tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "OurNSHandler/OurNSHandler.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComServer.h"
#include "platform/urlmon/RequestDriver.h"
#include "tests/support/TestDocument.h"

namespace tomelet::testing_support {

using tomelet::testing::TScratchFolder;
using tomelet::testing::TTestDocument;

// Records what the handler reports, and answers its bind-information question.
class TRecordingSink final : public TComObject<IInternetProtocolSink, IInternetBindInfo> {
 public:
  TRecordingSink(IUnknown* outer, DWORD bindFlags, HRESULT bindAnswer)
      : TComObject(outer), bindFlags_(bindFlags), bindAnswer_(bindAnswer) {}

  HRESULT GetBindInfo(DWORD* grfBINDF, BINDINFO* bindInfo) override {
    seenBindInfoSize = bindInfo->cbSize;
    *grfBINDF = bindFlags_;
    return bindAnswer_;
  }
  HRESULT Switch(PROTOCOLDATA*) override { return E_NOTIMPL; }
  HRESULT ReportProgress(ULONG statusCode, LPCWSTR text) override {
    progress.push_back({statusCode, text ? Utf16ToUtf8(text) : std::string{}});
    return S_OK;
  }
  HRESULT ReportData(DWORD bscf, ULONG progressNow, ULONG progressMax) override {
    data.push_back({bscf, progressNow, progressMax});
    return S_OK;
  }
  HRESULT ReportResult(HRESULT hr, DWORD error, LPCWSTR) override {
    results.push_back({hr, error});
    return S_OK;
  }
  ULONG References() {
    AddRef();
    return Release();
  }

  struct Progress {
    ULONG status;
    std::string text;
  };
  struct Data {
    DWORD flags;
    ULONG progress;
    ULONG progressMax;
  };
  struct Result {
    HRESULT hr;
    DWORD error;
  };
  std::vector<Progress> progress;
  std::vector<Data> data;
  std::vector<Result> results;
  ULONG seenBindInfoSize = 0;

 private:
  DWORD bindFlags_;
  HRESULT bindAnswer_;
};

inline std::string Text(const RequestResult& result) {
  return {reinterpret_cast<const char*>(result.Bytes.data()), result.Bytes.size()};
}

// Each test gets its own temporary folder (as TMP), document and handler module, with the
// protocol registered for "tome" the way the main window does it.
class HandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedTmp = getenv("TMP") ? getenv("TMP") : "";
    setenv("TMP", testFolder.c_str(), 1);

    TTestDocument document;
    AddEntries(document);
    documentFile = document.WriteTo(testFolder / "document.tlt").string();
    ASSERT_TRUE(archive.OpenArchive(documentFile));

    module = std::make_unique<TOurNSHandlerModule>();
    ASSERT_EQ(RegisterClassObjects(), S_OK);
    ASSERT_EQ(registration.Register(*module, archive), S_OK);
    ASSERT_EQ(CoInternetGetSession(0, session.ReleaseAndGetAddressOf(), 0), S_OK);
  }

  void TearDown() override {
    EndModule();
    archive.CloseArchive();
    if (savedTmp.empty()) {
      unsetenv("TMP");
    } else {
      setenv("TMP", savedTmp.c_str(), 1);
    }
  }

  virtual void AddEntries(TTestDocument& document) {
    document.Entry("index.htm", "<html>index</html>")
        .Entry("img\\a b.gif", "GIF89a-space")
        .Entry("a b.htm", "space page")
        .Entry("a+b.htm", "plus page")
        .Entry("sub\\page.htm", "sub page")
        .Entry("empty.txt", "")
        .Entry("docs\\manual.pdf", "%PDF docs manual")
        .Entry("other\\manual.pdf", "%PDF other manual")
        .Entry("caf\xE9.htm", "legacy name")
        .Entry("..\\escape.txt", "outside")
        .Entry("deep\\..\\..\\escape2.txt", "outside too")
        .Entry("clash", "a file where a folder is wanted")
        .Entry("clash\\inner.htm", "inner")
        .Entry("\\leading.htm", "leading")
        .Entry("\\\\double.htm", "double")
        .Entry("dots\\..", "dotted")
        .Entry(std::string(250, '\xE9') + ".pdf", "long");
  }

  // The order of the program's end: the window unregisters, then the module goes.
  void EndModule() {
    registration.Unregister();
    module.reset();
  }

  RequestResult Drive(std::string_view url, bool needFile = false) {
    return DriveProtocolRequest(*session, url, needFile);
  }

  ComPtr<IInternetProtocol> NewHandler() {
    ComPtr<IInternetProtocol> handler;
    EXPECT_EQ(module->Factory().CreateInstance(nullptr, IID_IInternetProtocol, handler.PutVoid()),
              S_OK);
    return handler;
  }

  TScratchFolder scratch;
  const std::filesystem::path testFolder = scratch.Path();
  std::string savedTmp;
  std::string documentFile;
  TZLBArc2 archive;
  std::unique_ptr<TOurNSHandlerModule> module;
  TProtocolRegistration registration;
  ComPtr<IInternetSession> session;
};

}  // namespace tomelet::testing_support
