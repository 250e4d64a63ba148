#include <gtest/gtest.h>

#include "platform/com/ComObject.h"

namespace tomelet {
namespace {

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
