#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "SecurityManager/SecurityManager.h"

namespace tomelet {
namespace {

constexpr IID kSomeOtherInterface{0x00000002, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Stands in for the browser's site and enumerator: only their addresses matter here.
class FakeSite final : public IInternetSecurityMgrSite {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
};

class FakeEnum final : public IEnumString {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
};

class SecurityManagerTest : public ::testing::Test {
 protected:
  TSecurityManager manager;
  FakeSite site;
  FakeEnum enumerator;
};

TEST_F(SecurityManagerTest, AnswersForItsTwoInterfacesOnly) {
  void* out = &site;
  EXPECT_EQ(manager.QueryInterface(IID_IInternetSecurityManager, &out), S_OK);
  EXPECT_EQ(out, static_cast<IInternetSecurityManager*>(&manager));
  out = nullptr;
  EXPECT_EQ(manager.QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(out, static_cast<IUnknown*>(&manager));
  out = &site;
  EXPECT_EQ(manager.QueryInterface(kSomeOtherInterface, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(manager.QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(SecurityManagerTest, ReferencesHandedOutDoNotCount) {
  ComPtr<IInternetSecurityManager> held;
  ASSERT_EQ(manager.QueryInterface(IID_IInternetSecurityManager, held.PutVoid()), S_OK);
  EXPECT_EQ(manager.AddRef(), static_cast<ULONG>(-1));
  EXPECT_EQ(manager.Release(), static_cast<ULONG>(-1));
  held.Reset();
  held = &manager;
  held.Reset();
  EXPECT_EQ(manager.SetSecuritySite(nullptr), INET_E_DEFAULT_ACTION) << "still alive";
}

TEST_F(SecurityManagerTest, WithoutEventsEveryOtherQuestionIsTheZones) {
  DWORD zone = 7;
  EXPECT_EQ(manager.MapUrlToZone(u"http://example.org/", &zone, 0), INET_E_DEFAULT_ACTION);
  EXPECT_EQ(zone, 7u);
  EXPECT_EQ(manager.SetSecuritySite(&site), INET_E_DEFAULT_ACTION);
  DWORD idSize = 16;
  std::byte id[16]{};
  EXPECT_EQ(manager.GetSecurityId(u"tome://inpack/a.htm", id, &idSize, 0), INET_E_DEFAULT_ACTION);
  EXPECT_EQ(idSize, 16u);
  std::byte* custom = id;
  DWORD customSize = 3;
  EXPECT_EQ(manager.QueryCustomPolicy(u"x", GUID_NULL, &custom, &customSize, nullptr, 0, 0),
            INET_E_DEFAULT_ACTION);
  EXPECT_EQ(custom, id);
  EXPECT_EQ(customSize, 3u);
  EXPECT_EQ(manager.SetZoneMapping(3, u"*.example.org", 0), INET_E_DEFAULT_ACTION);
}

TEST_F(SecurityManagerTest, OutInterfacesAreClearedEvenWithoutEvents) {
  IInternetSecurityMgrSite* siteOut = &site;
  EXPECT_EQ(manager.GetSecuritySite(&siteOut), INET_E_DEFAULT_ACTION);
  EXPECT_EQ(siteOut, nullptr);
  EXPECT_EQ(manager.GetSecuritySite(nullptr), INET_E_DEFAULT_ACTION);
  IEnumString* enumOut = &enumerator;
  EXPECT_EQ(manager.GetZoneMappings(1, &enumOut, 0), INET_E_DEFAULT_ACTION);
  EXPECT_EQ(enumOut, nullptr);
  EXPECT_EQ(manager.GetZoneMappings(1, nullptr, 0), INET_E_DEFAULT_ACTION);
}

TEST_F(SecurityManagerTest, OutInterfacesAreClearedBeforeTheEventRuns) {
  IInternetSecurityMgrSite* seenByEvent = &site;
  manager.OnGetSecuritySite = [&](IInternetSecurityMgrSite** out) {
    seenByEvent = *out;
    *out = &site;
    return S_OK;
  };
  IInternetSecurityMgrSite* siteOut = &site;
  EXPECT_EQ(manager.GetSecuritySite(&siteOut), S_OK);
  EXPECT_EQ(seenByEvent, nullptr);
  EXPECT_EQ(siteOut, &site);

  manager.OnGetZoneMappings = [&](DWORD zone, IEnumString** out, DWORD flags) {
    EXPECT_EQ(*out, nullptr);
    EXPECT_EQ(zone, 2u);
    EXPECT_EQ(flags, 5u);
    *out = &enumerator;
    return S_FALSE;
  };
  IEnumString* enumOut = nullptr;
  EXPECT_EQ(manager.GetZoneMappings(2, &enumOut, 5), S_FALSE);
  EXPECT_EQ(enumOut, &enumerator);
}

TEST_F(SecurityManagerTest, EventsReceiveEveryArgumentAndDecide) {
  manager.OnSetSecuritySite = [&](IInternetSecurityMgrSite* given) {
    return given == &site ? S_OK : E_FAIL;
  };
  EXPECT_EQ(manager.SetSecuritySite(&site), S_OK);

  manager.OnMapUrlToZone = [](const char16_t* url, DWORD* zone, DWORD flags) {
    *zone = std::u16string(url) == u"tome://inpack/" ? 0u : 3u;
    return flags == 1 ? S_OK : E_INVALIDARG;
  };
  DWORD zone = 9;
  EXPECT_EQ(manager.MapUrlToZone(u"tome://inpack/", &zone, 1), S_OK);
  EXPECT_EQ(zone, 0u);

  manager.OnProcessUrlAction = [](const char16_t*, DWORD action, std::byte* policy, DWORD size,
                                  std::byte*, DWORD contextSize, DWORD flags, DWORD reserved) {
    EXPECT_EQ(action, URLACTION_SCRIPT_RUN);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(contextSize, 11u);
    EXPECT_EQ(flags, 12u);
    EXPECT_EQ(reserved, 13u);
    policy[0] = std::byte{3};
    return S_FALSE;
  };
  DWORD policy = 0;
  EXPECT_EQ(manager.ProcessUrlAction(u"u", URLACTION_SCRIPT_RUN,
                                     reinterpret_cast<std::byte*>(&policy), 4, nullptr, 11, 12, 13),
            S_FALSE);
  EXPECT_EQ(policy, 3u) << "the event replaces the built-in table";
}

TEST_F(SecurityManagerTest, AThrowingEventIsAnsweredAsAFailure) {
  manager.OnSetZoneMapping = [](DWORD, const char16_t*, DWORD) -> HRESULT {
    throw std::runtime_error("handler failed");
  };
  EXPECT_EQ(manager.SetZoneMapping(1, u"*", 0), E_FAIL);
}

}  // namespace
}  // namespace tomelet
