// The process's class table, its live-object count and the class-object side of a COM server.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "platform/com/Com.h"

namespace tomelet {

inline constexpr DWORD CLSCTX_INPROC_SERVER = 1;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 4;

inline constexpr DWORD REGCLS_MULTIPLEUSE = 1;
inline constexpr DWORD REGCLS_SUSPENDED = 4;

// Publishes a class object for clsid; registered with REGCLS_SUSPENDED it stays invisible to
// CoGetClassObject until CoResumeClassObjects. The cookie identifies the entry for revocation.
HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* classObject, DWORD clsctx, DWORD flags,
                              DWORD* cookie);
HRESULT CoResumeClassObjects();
HRESULT CoRevokeClassObject(DWORD cookie);
// The newest visible registration of clsid whose context overlaps clsctx; serverInfo must be null.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsctx, void* serverInfo, REFIID iid, void** out);
// Holds (lock) or drops one strong reference on behalf of the object's external clients.
HRESULT CoLockObjectExternal(IUnknown* object, bool lock, bool lastUnlockReleases);

// Live objects: handler objects and server locks; while any exist, closing asks first.
long LiveObjectCount();
void IncrementLiveObjects();
void DecrementLiveObjects();
bool TerminationNeedsConfirmation();

// Counts its owner as one live object for as long as the owner exists.
class TLiveObjectToken {
 public:
  TLiveObjectToken() { IncrementLiveObjects(); }
  ~TLiveObjectToken() { DecrementLiveObjects(); }
  TLiveObjectToken(const TLiveObjectToken&) = delete;
  TLiveObjectToken& operator=(const TLiveObjectToken&) = delete;
};

inline constexpr std::string_view kComServerWarningCaption = "COM Server Warning";
inline constexpr std::string_view kComServerWarningText =
    "There are still active COM objects in this application.  One or more clients may have "
    "references to these objects, so manually closing "
    "this application may cause those client application(s) to fail.\n\n"
    "Are you sure you want to close this application?";

// A class object of this process: lives as long as its owner keeps it (its own reference count
// never destroys it) and revokes its registration when destroyed.
class TComObjectFactory : public IClassFactory {
 public:
  explicit TComObjectFactory(const CLSID& clsid);
  ~TComObjectFactory() override;
  TComObjectFactory(const TComObjectFactory&) = delete;
  TComObjectFactory& operator=(const TComObjectFactory&) = delete;

  HRESULT QueryInterface(REFIID iid, void** out) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT LockServer(bool lock) override;

  bool IsRegistered() const { return cookie_ != 0; }
  HRESULT RegisterClassObject(DWORD flags);

 private:
  CLSID clsid_;
  std::atomic<ULONG> refCount_{0};
  DWORD cookie_ = 0;
};

// Registers every existing TComObjectFactory as a multiple-use class object, all of them
// suspended until the last one is in, so no client sees a half-registered server.
HRESULT RegisterClassObjects();

}  // namespace tomelet
