#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "platform/com/ComServer.h"

namespace tomelet {
namespace {

struct ClassRegistration {
  DWORD cookie;
  CLSID clsid;
  ComPtr<IUnknown> classObject;
  DWORD clsctx;
  bool visible;
};

// One table for the process; the mutex guards it, and calls into class objects happen outside
// the lock so a class object may use the table itself.
struct ClassTable {
  std::mutex mutex;
  std::vector<ClassRegistration> registrations;
  DWORD lastCookie = 0;
  std::map<IUnknown*, int> externalLocks;
};

ClassTable& Table() {
  static ClassTable table;
  return table;
}

}  // namespace

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* classObject, DWORD clsctx, DWORD flags,
                              DWORD* cookie) {
  if (!cookie)
    return E_POINTER;
  *cookie = 0;
  if (!classObject)
    return E_INVALIDARG;
  auto& table = Table();
  std::lock_guard lock(table.mutex);
  DWORD newCookie = ++table.lastCookie;
  table.registrations.push_back(
      {newCookie, clsid, ComPtr<IUnknown>(classObject), clsctx, (flags & REGCLS_SUSPENDED) == 0});
  *cookie = newCookie;
  return S_OK;
}

HRESULT CoResumeClassObjects() {
  auto& table = Table();
  std::lock_guard lock(table.mutex);
  for (auto& registration : table.registrations)
    registration.visible = true;
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
  ComPtr<IUnknown> released;
  auto& table = Table();
  {
    std::lock_guard lock(table.mutex);
    auto& list = table.registrations;
    auto found = std::find_if(list.begin(), list.end(),
                              [cookie](const auto& r) { return r.cookie == cookie; });
    if (found == list.end())
      return CO_E_OBJNOTREG;
    released = std::move(found->classObject);
    list.erase(found);
  }
  return S_OK;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsctx, void* serverInfo, REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  if (serverInfo)
    return E_INVALIDARG;
  ComPtr<IUnknown> classObject;
  auto& table = Table();
  {
    std::lock_guard lock(table.mutex);
    auto& list = table.registrations;
    auto found = std::find_if(list.rbegin(), list.rend(), [&](const auto& r) {
      return r.visible && r.clsid == clsid && (r.clsctx & clsctx) != 0;
    });
    if (found == list.rend())
      return REGDB_E_CLASSNOTREG;
    classObject = found->classObject;
  }
  return classObject->QueryInterface(iid, out);
}

// Every caller passes lastUnlockReleases = true: the reference a lock took is always dropped by
// the matching unlock, and an unlock without a lock drops nothing (S_FALSE).
HRESULT CoLockObjectExternal(IUnknown* object, bool lock, bool /*lastUnlockReleases*/) {
  if (!object)
    return E_INVALIDARG;
  auto& table = Table();
  if (lock) {
    object->AddRef();
    std::lock_guard guard(table.mutex);
    ++table.externalLocks[object];
    return S_OK;
  }
  {
    std::lock_guard guard(table.mutex);
    auto found = table.externalLocks.find(object);
    if (found == table.externalLocks.end())
      return S_FALSE;
    if (--found->second == 0)
      table.externalLocks.erase(found);
  }
  object->Release();
  return S_OK;
}

}  // namespace tomelet
