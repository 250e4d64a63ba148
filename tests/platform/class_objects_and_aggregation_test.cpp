#include <gtest/gtest.h>

#include "platform/com/ComObject.h"
#include "platform/com/ComServer.h"

namespace tomelet {
namespace {

constexpr CLSID kTestClass{0x12345678, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr CLSID kOtherClass{0x12345678, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 9}};

class TTestFactory final : public TComObjectFactory {
 public:
  TTestFactory() : TComObjectFactory(kTestClass, "Test", "Test class") {}
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

TEST_F(ClassTableTest, SingleUseClassObjectsServeOneClient) {
  Register(factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE);
  ComPtr<IClassFactory> first;
  ComPtr<IClassFactory> second;
  EXPECT_EQ(Get(kTestClass, CLSCTX_LOCAL_SERVER, first), S_OK);
  EXPECT_EQ(Get(kTestClass, CLSCTX_LOCAL_SERVER, second), REGDB_E_CLASSNOTREG);
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

TEST(ServerLocks, WarningTextHasItsTwoSpacesAndBlankLine) {
  EXPECT_EQ(kComServerWarningCaption, "COM Server Warning");
  EXPECT_NE(kComServerWarningText.find("application.  One or more"), std::string_view::npos);
  EXPECT_NE(kComServerWarningText.find("manually closing this application may cause"),
            std::string_view::npos);
  EXPECT_NE(kComServerWarningText.find("fail.\n\nAre you sure"), std::string_view::npos);
}

// An outer object that records the calls its aggregated inner object delegates to it.
class TOuter final : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
    ++queries;
    if (iid == IID_IUnknown) {
      *out = this;
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(iid, out);
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
  ULONG references = 1;
  int queries = 0;
  ComPtr<IUnknown> inner;
};

class TInner final : public TComObject<IClassFactory, ISupportErrorInfo> {
 public:
  TInner(IUnknown* outer, int* alive) : TComObject(outer), alive_(alive) { ++*alive_; }
  ~TInner() override { --*alive_; }
  HRESULT CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT LockServer(bool) override { return S_OK; }
  HRESULT InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }

 private:
  int* alive_;
};

class AggregationTest : public testing::Test {
 protected:
  int alive = 0;
  TOuter outer;
};

TEST_F(AggregationTest, AggregatedInterfacesDelegateToTheOuterObject) {
  void* inner = nullptr;
  ASSERT_EQ(CreateComInstance<TInner>(&outer, IID_IUnknown, &inner, &alive), S_OK);
  outer.inner.Attach(static_cast<IUnknown*>(inner));
  EXPECT_EQ(alive, 1);

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(outer.inner->QueryInterface(IID_IClassFactory, factory.PutVoid()), S_OK);
  EXPECT_EQ(outer.references, 2u);
  ComPtr<IUnknown> identity;
  ASSERT_EQ(factory->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
  EXPECT_EQ(identity.Get(), &outer);
  EXPECT_EQ(outer.queries, 1);
  identity.Reset();
  factory.Reset();
  EXPECT_EQ(outer.references, 1u);

  outer.inner.Reset();
  EXPECT_EQ(alive, 0);
}

TEST_F(AggregationTest, AggregationIsOnlyThroughIUnknown) {
  void* out = &outer;
  EXPECT_EQ(CreateComInstance<TInner>(&outer, IID_IClassFactory, &out, &alive),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(alive, 0);
  EXPECT_EQ(CreateComInstance<TInner>(nullptr, IID_IUnknown, nullptr, &alive), E_POINTER);
}

TEST_F(AggregationTest, UnsupportedInterfaceDestroysTheNewObject) {
  void* out = nullptr;
  EXPECT_EQ(CreateComInstance<TInner>(nullptr, kTestClass, &out, &alive), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(alive, 0);
}

TEST_F(AggregationTest, StandaloneObjectAnswersForItsInterfacesOnly) {
  void* out = nullptr;
  ASSERT_EQ(CreateComInstance<TInner>(nullptr, IID_ISupportErrorInfo, &out, &alive), S_OK);
  ComPtr<ISupportErrorInfo> info;
  info.Attach(static_cast<ISupportErrorInfo*>(out));
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(info.As(factory), S_OK);
  ComPtr<IUnknown> a;
  ComPtr<IUnknown> b;
  ASSERT_EQ(info.As(a), S_OK);
  ASSERT_EQ(factory.As(b), S_OK);
  EXPECT_EQ(a, b);
  info.Reset();
  factory.Reset();
  EXPECT_EQ(alive, 1);
  a.Reset();
  b.Reset();
  EXPECT_EQ(alive, 0);
}

struct TFailingConstruction final : public TComObject<ISupportErrorInfo> {
  explicit TFailingConstruction(IUnknown* outer) : TComObject(outer) {
    throw std::runtime_error("cannot make");
  }
  HRESULT InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }
};

TEST_F(AggregationTest, ConstructionFailureIsUnexpected) {
  void* out = nullptr;
  EXPECT_EQ(CreateComInstance<TFailingConstruction>(nullptr, IID_IUnknown, &out), E_UNEXPECTED);
  EXPECT_EQ(out, nullptr);
}

}  // namespace
}  // namespace tomelet
