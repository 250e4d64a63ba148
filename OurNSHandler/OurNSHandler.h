// The "tome" protocol handler's module: its class object, its registration with the URL session
// and the temporary files made for requests that need a file. The handler itself is a thin face
// on the document's request core.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ZLIBArchive2/ZLIBArchive2.h"
#include "document/DocumentAddress.h"
#include "platform/com/Com.h"
#include "platform/urlmon/UrlMon.h"

namespace tomelet {

inline constexpr CLSID OurNSHandlerClassID{
    0xDAF70F47, 0x915C, 0x46A9, {0x91, 0x3B, 0x7C, 0x54, 0x84, 0xA1, 0x61, 0x73}};

// TMP, TEMP or TMPDIR when it names an existing directory, else /tmp; absolute, ending in "/".
std::string TemporaryFolder();

struct THandlerState;
class TOurNSHandlerFactory;

// Everything the handler keeps for the whole run. The program entry owns the one instance:
// creating it publishes the class factory (registered with COM by RegisterClassObjects), and
// destroying it deletes the run's temporary files and their private folder and revokes the
// class object.
class TOurNSHandlerModule {
 public:
  TOurNSHandlerModule();
  ~TOurNSHandlerModule();
  TOurNSHandlerModule(const TOurNSHandlerModule&) = delete;
  TOurNSHandlerModule& operator=(const TOurNSHandlerModule&) = delete;

  IClassFactory& Factory();
  // Full names of the temporary files made, in order; a reused file stands once per request.
  const std::vector<std::string>& TempFileList() const;
  // Diagnostic lines of the requests, in order. They are also written to standard error, as
  // "Tomelet-Protocol-DEBUG: ...", when G_MESSAGES_DEBUG names "all" or "Tomelet-Protocol".
  const std::vector<std::string>& RequestLog() const;
  // The folder made for this run's temporary files; empty until the first one is needed.
  std::string PrivateFolder() const;

 private:
  friend class TProtocolRegistration;
  // The archive requests are served from; null while no registration is in force.
  void AttachArchive(TZLBArc2* archive);

  std::shared_ptr<THandlerState> state_;
  std::unique_ptr<TOurNSHandlerFactory> factory_;
};

// The main window's hold on the protocol: the class object fetched back from COM and the
// session it registered with. Requests reach the archive given to Register until Unregister.
class TProtocolRegistration {
 public:
  // Fails when the class object or the session cannot be obtained, when the class object COM
  // answers is not the module's, or when the session refuses.
  HRESULT Register(TOurNSHandlerModule& module, TZLBArc2& archive);
  // The same with the module's class object registered straight into a session of the caller's
  // (one view's), never through COM's table of class objects, which holds one per class.
  HRESULT Register(TOurNSHandlerModule& module, TZLBArc2& archive,
                   ComPtr<IInternetSession> session);
  // Does nothing when Register obtained no session. Lets go of the class object and the session,
  // so the registration never outlives the module that owns the class object.
  void Unregister() noexcept;

 private:
  TOurNSHandlerModule* module_ = nullptr;
  ComPtr<IClassFactory> handlerFactory_;
  ComPtr<IInternetSession> handlerSession_;
};

}  // namespace tomelet
