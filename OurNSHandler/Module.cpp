#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "OurNSHandler/HandlerState.h"
#include "platform/com/ComServer.h"

namespace tomelet {
namespace {

constexpr std::string_view kLogDomain = "Tomelet-Protocol";

// The same switch as the desktop's debug messages: a space-separated list of domains, or "all".
bool DebugOutputRequested() {
  const char* domains = std::getenv("G_MESSAGES_DEBUG");
  if (!domains)
    return false;
  std::istringstream list(domains);
  std::string domain;
  while (list >> domain) {
    if (domain == "all" || domain == kLogDomain)
      return true;
  }
  return false;
}

}  // namespace

void THandlerState::Log(std::string line) {
  if (echoLog) {
    std::fprintf(stderr, "%.*s-DEBUG: %s\n", static_cast<int>(kLogDomain.size()), kLogDomain.data(),
                 line.c_str());
  }
  requestLog.push_back(std::move(line));
}

const TDocument* THandlerState::Document() {
  const auto snapshot = archive != nullptr ? archive->Snapshot() : nullptr;
  if (!snapshot) {
    document.reset();
  } else if (!document || document->StoredArchive() != snapshot.get()) {
    document = ShareDocument(*archive);
  }
  return document.get();
}

// One class object makes any number of handler objects; it lives as long as the module.
class TOurNSHandlerFactory final : public TComObjectFactory {
 public:
  explicit TOurNSHandlerFactory(std::shared_ptr<THandlerState> state)
      : TComObjectFactory(OurNSHandlerClassID), state_(std::move(state)) {}

  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    return CreateOurNSHandler(state_, outer, iid, out);
  }

 private:
  std::shared_ptr<THandlerState> state_;
};

TOurNSHandlerModule::TOurNSHandlerModule()
    : state_(std::make_shared<THandlerState>()),
      factory_(std::make_unique<TOurNSHandlerFactory>(state_)) {
  state_->echoLog = DebugOutputRequested();
}

// The session outlives the module, so no registration may keep pointing at the class object.
TOurNSHandlerModule::~TOurNSHandlerModule() {
  state_->archive = nullptr;
  state_->document.reset();
  DeleteTempFiles(*state_);
  ComPtr<IInternetSession> session;
  if (SUCCEEDED(CoInternetGetSession(0, session.ReleaseAndGetAddressOf(), 0))) {
    const std::u16string scheme = Utf8ToUtf16(kDocumentScheme);
    while (session->UnregisterNameSpace(factory_.get(), scheme.c_str()) == S_OK) {
    }
  }
}

IClassFactory& TOurNSHandlerModule::Factory() {
  return *factory_;
}

const std::vector<std::string>& TOurNSHandlerModule::TempFileList() const {
  return state_->tempFileList;
}

const std::vector<std::string>& TOurNSHandlerModule::RequestLog() const {
  return state_->requestLog;
}

std::string TOurNSHandlerModule::PrivateFolder() const {
  return state_->privateFolder.native();
}

void TOurNSHandlerModule::AttachArchive(TZLBArc2* archive) {
  state_->archive = archive;
  state_->document.reset();
}

HRESULT TProtocolRegistration::Register(TOurNSHandlerModule& module, TZLBArc2& archive) {
  ComPtr<IClassFactory> factory;
  HRESULT hr = CoGetClassObject(OurNSHandlerClassID, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                nullptr, IID_IClassFactory, factory.PutVoid());
  if (FAILED(hr))
    return hr;
  if (factory.Get() != &module.Factory())
    return CLASS_E_CLASSNOTAVAILABLE;
  ComPtr<IInternetSession> session;
  hr = CoInternetGetSession(0, session.ReleaseAndGetAddressOf(), 0);
  if (FAILED(hr))
    return hr;
  return Register(module, archive, std::move(session));
}

HRESULT TProtocolRegistration::Register(TOurNSHandlerModule& module, TZLBArc2& archive,
                                        ComPtr<IInternetSession> session) {
  handlerFactory_ = ComPtr<IClassFactory>(&module.Factory());
  handlerSession_ = std::move(session);
  module_ = &module;
  module_->AttachArchive(&archive);
  const HRESULT hr =
      handlerSession_->RegisterNameSpace(handlerFactory_.Get(), OurNSHandlerClassID,
                                         Utf8ToUtf16(kDocumentScheme).c_str(), 0, nullptr, 0);
  if (FAILED(hr))
    module_->AttachArchive(nullptr);
  return hr;
}

void TProtocolRegistration::Unregister() noexcept {
  if (!handlerSession_ || !handlerFactory_)
    return;
  handlerSession_->UnregisterNameSpace(handlerFactory_.Get(), Utf8ToUtf16(kDocumentScheme).c_str());
  if (module_)
    module_->AttachArchive(nullptr);
  module_ = nullptr;
  handlerFactory_.Reset();
  handlerSession_.Reset();
}

}  // namespace tomelet
