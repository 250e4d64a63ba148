// The URL moniker layer: protocol handler interfaces, the process's internet session with its
// namespace registrations and user agent, and memory streams.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com/Com.h"
#include "platform/streams/Streams.h"

namespace tomelet {

using LPCWSTR = const char16_t*;
using LPWSTR = char16_t*;

inline constexpr DWORD BINDF_NEEDFILE = 0x40;
inline constexpr DWORD BINDF_PULLDATA = 0x80;

inline constexpr ULONG BINDSTATUS_CACHEFILENAMEAVAILABLE = 14;

inline constexpr DWORD BSCF_FIRSTDATANOTIFICATION = 0x1;
inline constexpr DWORD BSCF_INTERMEDIATEDATANOTIFICATION = 0x2;
inline constexpr DWORD BSCF_LASTDATANOTIFICATION = 0x4;
inline constexpr DWORD BSCF_DATAFULLYAVAILABLE = 0x8;

inline constexpr DWORD PARSE_SECURITY_URL = 3;

inline constexpr DWORD URLMON_OPTION_USERAGENT = 0x10000001;

inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;

inline constexpr IID IID_IInternetBindInfo{
    0x79EAC9E1, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IInternetProtocolRoot{
    0x79EAC9E3, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IInternetProtocol{
    0x79EAC9E4, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IInternetProtocolSink{
    0x79EAC9E5, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IInternetSession{
    0x79EAC9E7, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IInternetProtocolInfo{
    0x79EAC9EC, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IStream{0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The part of the bind information a handler reads; cbSize is set by the handler.
struct BINDINFO {
  ULONG cbSize = 0;
  DWORD dwBindVerb = 0;
};

struct PROTOCOLDATA {
  DWORD grfFlags = 0;
  DWORD dwState = 0;
  void* pData = nullptr;
  ULONG cbData = 0;
};

class IInternetBindInfo : public IUnknown {
 public:
  static constexpr const GUID& kIID = IID_IInternetBindInfo;
  virtual HRESULT GetBindInfo(DWORD* grfBINDF, BINDINFO* bindInfo) = 0;
};

class IInternetProtocolSink : public IUnknown {
 public:
  static constexpr const GUID& kIID = IID_IInternetProtocolSink;
  virtual HRESULT Switch(PROTOCOLDATA* protocolData) = 0;
  virtual HRESULT ReportProgress(ULONG statusCode, LPCWSTR statusText) = 0;
  virtual HRESULT ReportData(DWORD bscf, ULONG progress, ULONG progressMax) = 0;
  virtual HRESULT ReportResult(HRESULT result, DWORD error, LPCWSTR resultText) = 0;
};

class IInternetProtocolRoot : public IUnknown {
 public:
  static constexpr const GUID& kIID = IID_IInternetProtocolRoot;
  virtual HRESULT Start(LPCWSTR url, IInternetProtocolSink* sink, IInternetBindInfo* bindInfo,
                        DWORD grfPI, DWORD reserved) = 0;
  virtual HRESULT Continue(PROTOCOLDATA* protocolData) = 0;
  virtual HRESULT Abort(HRESULT reason, DWORD options) = 0;
  virtual HRESULT Terminate(DWORD options) = 0;
  virtual HRESULT Suspend() = 0;
  virtual HRESULT Resume() = 0;
};

class IInternetProtocol : public IInternetProtocolRoot {
 public:
  static constexpr const GUID& kIID = IID_IInternetProtocol;
  virtual HRESULT Read(void* buffer, ULONG cb, ULONG* cbRead) = 0;
  virtual HRESULT Seek(std::int64_t move, DWORD origin, std::uint64_t* newPosition) = 0;
  virtual HRESULT LockRequest(DWORD options) = 0;
  virtual HRESULT UnlockRequest() = 0;
};

class IInternetProtocolInfo : public IUnknown {
 public:
  static constexpr const GUID& kIID = IID_IInternetProtocolInfo;
  virtual HRESULT ParseUrl(LPCWSTR url, DWORD parseAction, DWORD flags, LPWSTR result,
                           DWORD cchResult, DWORD* pcchResult, DWORD reserved) = 0;
  virtual HRESULT CombineUrl(LPCWSTR baseUrl, LPCWSTR relativeUrl, DWORD flags, LPWSTR result,
                             DWORD cchResult, DWORD* pcchResult, DWORD reserved) = 0;
  virtual HRESULT CompareUrl(LPCWSTR url1, LPCWSTR url2, DWORD flags) = 0;
  virtual HRESULT QueryInfo(LPCWSTR url, DWORD queryOption, DWORD flags, void* buffer, DWORD cb,
                            DWORD* pcbBuf, DWORD reserved) = 0;
};

// Namespace registrations map a scheme (any letter case) to the factory of its handlers; the
// newest registration of a scheme wins until it is unregistered.
class IInternetSession : public IUnknown {
 public:
  static constexpr const GUID& kIID = IID_IInternetSession;
  virtual HRESULT RegisterNameSpace(IClassFactory* factory, REFCLSID clsid, LPCWSTR scheme,
                                    ULONG patternCount, const LPCWSTR* patterns,
                                    DWORD reserved) = 0;
  virtual HRESULT UnregisterNameSpace(IClassFactory* factory, LPCWSTR scheme) = 0;
  // The factory that serves scheme, for the request driver; REGDB_E_CLASSNOTREG when none.
  virtual HRESULT FindNameSpace(std::u16string_view scheme, IClassFactory** factory) = 0;
};

HRESULT CoInternetGetSession(DWORD sessionMode, IInternetSession** session, DWORD reserved);
// A session of its own, apart from the process's, for requests that must reach other handlers
// (one view of several, each showing its own document).
HRESULT CreateInternetSession(IInternetSession** session);

// Only the user-agent option is known; its text is stored for the browser host.
HRESULT UrlMkSetSessionOption(DWORD option, const void* buffer, DWORD length, DWORD reserved);
std::string SessionUserAgent();

class IStream : public IUnknown {
 public:
  static constexpr const GUID& kIID = IID_IStream;
  virtual HRESULT Read(void* buffer, ULONG cb, ULONG* cbRead) = 0;
  virtual HRESULT Write(const void* buffer, ULONG cb, ULONG* cbWritten) = 0;
  virtual HRESULT Seek(std::int64_t move, DWORD origin, std::uint64_t* newPosition) = 0;
};

// A growable memory stream; there are no global-memory handles here, so memory must be null and
// the stream always owns (and frees) its bytes.
HRESULT CreateStreamOnHGlobal(void* memory, bool deleteOnRelease, IStream** stream);
// The same kind of stream taking over bytes already in memory, positioned at their start.
HRESULT CreateStreamOnMemory(TMemoryStream&& contents, IStream** stream);

// Text crossing these interfaces is UTF-16; the program's own 8-bit text is UTF-8. Unpaired
// surrogates and malformed UTF-8 become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace tomelet
