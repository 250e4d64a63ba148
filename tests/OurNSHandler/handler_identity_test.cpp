#include "tests/OurNSHandler/HandlerFixture.h"

namespace tomelet {
namespace {

using testing_support::HandlerTest;

class HandlerIdentity : public HandlerTest {
 protected:
  HRESULT Query(REFIID iid) {
    ComPtr<IUnknown> answer;
    HRESULT hr = NewHandler()->QueryInterface(iid, answer.PutVoid());
    EXPECT_EQ(hr == S_OK, static_cast<bool>(answer));
    return hr;
  }
};

TEST_F(HandlerIdentity, AnswersForItsFourInterfacesOnly) {
  EXPECT_EQ(Query(IID_IUnknown), S_OK);
  EXPECT_EQ(Query(IID_ISupportErrorInfo), S_OK);
  EXPECT_EQ(Query(IID_IInternetProtocolInfo), S_OK);
  EXPECT_EQ(Query(IID_IInternetProtocol), S_OK);
  EXPECT_EQ(Query(IID_IInternetProtocolRoot), E_NOINTERFACE);
  EXPECT_EQ(Query(IID_IInternetProtocolSink), E_NOINTERFACE);
  EXPECT_EQ(Query(IID_IClassFactory), E_NOINTERFACE);
}

TEST_F(HandlerIdentity, ErrorInfoIsSupportedOnTheImplementedInterfaces) {
  ComPtr<ISupportErrorInfo> info;
  ASSERT_EQ(NewHandler().As(info), S_OK);
  EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IInternetProtocol), S_OK);
  EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IInternetProtocolInfo), S_OK);
  EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IUnknown), S_OK);
  EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IInternetProtocolRoot), S_FALSE);
  EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IStream), S_FALSE);
}

TEST_F(HandlerIdentity, FactoryRefusesBadRequests) {
  IClassFactory& factory = module->Factory();
  EXPECT_EQ(factory.CreateInstance(nullptr, IID_IInternetProtocol, nullptr), E_POINTER);
  class TOuter final : public IUnknown {
   public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
  } outer;
  void* out = &outer;
  long live = LiveObjectCount();
  EXPECT_EQ(factory.CreateInstance(&outer, IID_IInternetProtocol, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  out = &outer;
  EXPECT_EQ(factory.CreateInstance(nullptr, IID_IInternetProtocolRoot, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(LiveObjectCount(), live);
}

// An outer object aggregating a handler: its own identity, everything else from the inner one.
class TAggregatingOuter final : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
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
  ComPtr<IUnknown> inner;
};

TEST_F(HandlerIdentity, AggregatedHandlerDelegatesToItsOuterObject) {
  TAggregatingOuter outer;
  long live = LiveObjectCount();
  ASSERT_EQ(module->Factory().CreateInstance(&outer, IID_IUnknown, outer.inner.PutVoid()), S_OK);
  EXPECT_EQ(LiveObjectCount(), live + 1);
  ComPtr<IInternetProtocol> protocol;
  ASSERT_EQ(outer.inner->QueryInterface(IID_IInternetProtocol, protocol.PutVoid()), S_OK);
  EXPECT_EQ(outer.references, 2u);
  ComPtr<IUnknown> identity;
  ASSERT_EQ(protocol->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
  EXPECT_EQ(identity.Get(), &outer);
  identity.Reset();
  protocol.Reset();
  EXPECT_EQ(outer.references, 1u);
  outer.inner.Reset();
  EXPECT_EQ(LiveObjectCount(), live);
}

class ProtocolInfo : public HandlerTest {
 protected:
  void SetUp() override {
    HandlerTest::SetUp();
    ASSERT_EQ(NewHandler().As(info), S_OK);
  }
  ComPtr<IInternetProtocolInfo> info;
  char16_t buffer[64] = {};
  DWORD size = 0;
};

TEST_F(ProtocolInfo, SecurityUrlNeedsTwiceItsLength) {
  EXPECT_EQ(info->ParseUrl(u"tome://inpack/x.htm", PARSE_SECURITY_URL, 0, buffer, 27, &size, 0),
            S_FALSE);
  EXPECT_EQ(size, 28u);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(info->ParseUrl(u"tome://inpack/x.htm", PARSE_SECURITY_URL, 0, buffer, 28, &size, 0),
            S_OK);
  EXPECT_EQ(size, 28u);
  EXPECT_EQ(std::u16string(buffer), u"tome://inpack/");
  ASSERT_EQ(info->ParseUrl(u"tome://other/%zz", PARSE_SECURITY_URL, 0, buffer, 64, &size, 0), S_OK);
  EXPECT_EQ(std::u16string(buffer), u"tome://inpack/");
  EXPECT_EQ(info->ParseUrl(u"tome://inpack/x", 1, 0, buffer, 64, &size, 0), E_NOTIMPL);
}

TEST_F(ProtocolInfo, CombinesTheSpecialFileForm) {
  ASSERT_EQ(info->CombineUrl(u"tome://inpack/", u"file:///tome|//inpack/a%20b.htm", 0, buffer, 64,
                             &size, 0),
            S_OK);
  EXPECT_EQ(std::u16string(buffer), u"tome://inpack/a b.htm");
  EXPECT_EQ(size, 42u);
}

TEST_F(ProtocolInfo, CombineNeverWritesPastTheBuffer) {
  for (char16_t& c : buffer)
    c = u'#';
  EXPECT_EQ(info->CombineUrl(u"tome://inpack/", u"file:///tome|//inpack/a%20b.htm", 0, buffer, 41,
                             &size, 0),
            S_FALSE);
  EXPECT_EQ(size, 42u);
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(info->CombineUrl(u"tome://inpack/", u"file:///tome|//inpack/a%20b.htm", 0, buffer, 42,
                             &size, 0),
            S_OK);
  EXPECT_EQ(buffer[21], 0);
  EXPECT_EQ(buffer[22], u'#');
}

TEST_F(ProtocolInfo, OrdinaryRelativeUrlsGoToTheDefaultHandling) {
  for (const char16_t* relative :
       {u"images/a.gif", u"FILE:///tome|/x", u"file:///other/x.htm", u"file://tome/x.htm"}) {
    EXPECT_EQ(info->CombineUrl(u"tome://inpack/", relative, 0, buffer, 64, &size, 0),
              INET_E_USE_DEFAULT_PROTOCOLHANDLER);
  }
}

}  // namespace
}  // namespace tomelet
