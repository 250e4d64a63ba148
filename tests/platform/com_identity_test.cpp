#include <gtest/gtest.h>

#include "platform/com/ComObject.h"

namespace tomelet {
namespace {

TEST(GuidText, RoundTripsTheCanonicalForm) {
  auto id = GUID::Parse("{DAF70F47-915C-46A9-913B-7C5484A16173}");
  ASSERT_TRUE(id);
  EXPECT_EQ(id->Data1, 0xDAF70F47u);
  EXPECT_EQ(id->Data2, 0x915C);
  EXPECT_EQ(id->Data3, 0x46A9);
  EXPECT_EQ(id->Data4[0], 0x91);
  EXPECT_EQ(id->Data4[7], 0x73);
  EXPECT_EQ(id->ToString(), "{DAF70F47-915C-46A9-913B-7C5484A16173}");
}

TEST(GuidText, AcceptsLowerCaseAndMissingBraces) {
  auto lower = GUID::Parse("daf70f47-915c-46a9-913b-7c5484a16173");
  ASSERT_TRUE(lower);
  EXPECT_EQ(lower, GUID::Parse("{DAF70F47-915C-46A9-913B-7C5484A16173}"));
}

class MalformedGuid : public testing::TestWithParam<const char*> {};

TEST_P(MalformedGuid, IsRejected) {
  EXPECT_FALSE(GUID::Parse(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Texts, MalformedGuid,
                         testing::Values("", "{}", "{DAF70F47-915C-46A9-913B-7C5484A1617}",
                                         "{DAF70F47-915C-46A9-913B-7C5484A161733}",
                                         "{DAF70F47915C-46A9-913B-7C5484A161733}",
                                         "{DAF70F47-915C-46A9-913B-7C5484A1617G}",
                                         "{DAF70F47-915C-46A9-913B+7C5484A16173}",
                                         "{DAF70F47-915C-46A9-913B-7C5484A16173"));

// Counts references and records its own destruction so tests see leaks and double releases.
class TCounted final : public TComObject<IClassFactory> {
 public:
  TCounted(IUnknown* outer, bool* destroyed) : TComObject(outer), destroyed_(destroyed) {}
  ~TCounted() override { *destroyed_ = true; }
  HRESULT CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT LockServer(bool) override { return S_OK; }

 private:
  bool* destroyed_;
};

class ComPtrTest : public testing::Test {
 protected:
  bool destroyed = false;
  ComPtr<TCounted> object = MakeComObject<TCounted>(&destroyed);

  ULONG Count() {
    object->AddRef();
    return object->Release();
  }
};

TEST_F(ComPtrTest, CopiesAddAReferenceAndMovesDoNot) {
  ComPtr<TCounted> copy = object;
  EXPECT_EQ(Count(), 2u);
  ComPtr<TCounted> moved = std::move(copy);
  EXPECT_EQ(Count(), 2u);
  moved = nullptr;
  EXPECT_EQ(Count(), 1u);
}

TEST_F(ComPtrTest, DetachHandsOverTheReferenceAndAttachTakesItBack) {
  TCounted* raw = object.Detach();
  EXPECT_FALSE(object);
  EXPECT_FALSE(destroyed);
  object.Attach(raw);
  EXPECT_EQ(Count(), 1u);
  object.Reset();
  EXPECT_TRUE(destroyed);
}

TEST_F(ComPtrTest, PutVoidTakesOverTheQueriedInterface) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(object->QueryInterface(IID_IClassFactory, factory.PutVoid()), S_OK);
  EXPECT_EQ(factory.Get(), static_cast<IClassFactory*>(object.Get()));
  EXPECT_EQ(Count(), 2u);
  ComPtr<ISupportErrorInfo> missing;
  EXPECT_EQ(object->QueryInterface(IID_ISupportErrorInfo, missing.PutVoid()), E_NOINTERFACE);
  EXPECT_FALSE(missing);
  EXPECT_EQ(Count(), 2u);
}

}  // namespace
}  // namespace tomelet
