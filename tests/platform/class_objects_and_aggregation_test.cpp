#include <gtest/gtest.h>

#include "platform/com/ComObject.h"
#include "platform/com/ComServer.h"

namespace tomelet {
namespace {

constexpr CLSID kTestClass{0x12345678, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr CLSID kOtherClass{0x12345678, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 9}};

class TTestFactory final : public TComObjectFactory {
 public:
  TTestFactory() : TComObjectFactory(kTestClass) {}
  HRESULT CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
  ULONG References() {
    AddRef();
    return Release();
  }
};

class ClassTableTest : public testing::Test {
 protected:
  void TearDown() override {
    for (DWORD cookie : cookies)
      CoRevokeClassObject(cookie);
  }
  DWORD Register(TTestFactory& target, DWORD clsctx, DWORD flags, const CLSID& clsid = kTestClass) {
    DWORD cookie = 0;
    EXPECT_EQ(CoRegisterClassObject(clsid, &target, clsctx, flags, &cookie), S_OK);
    cookies.push_back(cookie);
    return cookie;
  }
  HRESULT Get(const CLSID& clsid, DWORD clsctx, ComPtr<IClassFactory>& out) {
    return CoGetClassObject(clsid, clsctx, nullptr, IID_IClassFactory, out.PutVoid());
  }
  // The table keeps references to these until TearDown revokes them.
  TTestFactory factory;
  TTestFactory newer;
  std::vector<DWORD> cookies;
};

TEST_F(ClassTableTest, SuspendedClassObjectsAppearOnlyAfterResume) {
  Register(factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED);
  ComPtr<IClassFactory> found;
  EXPECT_EQ(Get(kTestClass, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, found),
            REGDB_E_CLASSNOTREG);
  ASSERT_EQ(CoResumeClassObjects(), S_OK);
  ASSERT_EQ(Get(kTestClass, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, found), S_OK);
  EXPECT_EQ(found.Get(), &factory);
}

TEST_F(ClassTableTest, LookupHonoursClassAndContext) {
  Register(factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE);
  ComPtr<IClassFactory> found;
  EXPECT_EQ(Get(kOtherClass, CLSCTX_LOCAL_SERVER, found), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(Get(kTestClass, CLSCTX_INPROC_SERVER, found), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoGetClassObject(kTestClass, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory, nullptr),
            E_POINTER);
}

TEST_F(ClassTableTest, RevokingReleasesTheTablesReference) {
  ULONG before = factory.References();
  DWORD cookie = Register(factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE);
  EXPECT_EQ(factory.References(), before + 1);
  EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
  EXPECT_EQ(factory.References(), before);
  EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);
  ComPtr<IClassFactory> found;
  EXPECT_EQ(Get(kTestClass, CLSCTX_LOCAL_SERVER, found), REGDB_E_CLASSNOTREG);
}

TEST_F(ClassTableTest, NewestRegistrationWins) {
  Register(factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE);
  Register(newer, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE);
  ComPtr<IClassFactory> found;
  ASSERT_EQ(Get(kTestClass, CLSCTX_LOCAL_SERVER, found), S_OK);
  EXPECT_EQ(found.Get(), &newer);
}

TEST_F(ClassTableTest, DestroyedFactoryRevokesItsClassObject) {
  {
    TTestFactory transient;
    ASSERT_EQ(transient.RegisterClassObject(REGCLS_MULTIPLEUSE), S_OK);
    EXPECT_TRUE(transient.IsRegistered());
  }
  ComPtr<IClassFactory> found;
  EXPECT_EQ(Get(kTestClass, CLSCTX_LOCAL_SERVER, found), REGDB_E_CLASSNOTREG);
}

TEST_F(ClassTableTest, RegisterClassObjectsPublishesEveryFactory) {
  ASSERT_EQ(RegisterClassObjects(), S_OK);
  EXPECT_TRUE(factory.IsRegistered());
  ComPtr<IClassFactory> found;
  EXPECT_EQ(Get(kTestClass, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, found), S_OK);
}

TEST(ServerLocks, LockServerCountsAsALiveObjectAndHoldsAReference) {
  TTestFactory factory;
  long before = LiveObjectCount();
  ULONG references = factory.References();
  EXPECT_EQ(factory.LockServer(true), S_OK);
  EXPECT_EQ(LiveObjectCount(), before + 1);
  EXPECT_TRUE(TerminationNeedsConfirmation());
  EXPECT_EQ(factory.References(), references + 1);
  EXPECT_EQ(factory.LockServer(false), S_OK);
  EXPECT_EQ(LiveObjectCount(), before);
  EXPECT_EQ(factory.References(), references);
}

TEST(ServerLocks, UnbalancedUnlockLowersNothing) {
  TTestFactory factory;
  long before = LiveObjectCount();
  EXPECT_EQ(factory.LockServer(false), S_FALSE);
  EXPECT_EQ(LiveObjectCount(), before);
  TLiveObjectToken live;
  EXPECT_TRUE(TerminationNeedsConfirmation());
}

struct TFailingConstruction final : public TComObject<ISupportErrorInfo> {
  explicit TFailingConstruction(IUnknown* outer) : TComObject(outer) {
    throw std::runtime_error("cannot make");
  }
  HRESULT InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }
};

TEST(ObjectCreation, ConstructionFailureIsUnexpected) {
  void* out = nullptr;
  EXPECT_EQ(CreateComInstance<TFailingConstruction>(nullptr, IID_IUnknown, &out), E_UNEXPECTED);
  EXPECT_EQ(out, nullptr);
}

}  // namespace
}  // namespace tomelet
