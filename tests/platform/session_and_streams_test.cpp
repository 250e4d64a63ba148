#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/ComServer.h"
#include "platform/urlmon/UrlMon.h"

namespace tomelet {
namespace {

constexpr CLSID kClass{0xABCDEF01, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

class TNamedFactory final : public TComObjectFactory {
 public:
  TNamedFactory() : TComObjectFactory(kClass) {}
  HRESULT CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
};

class SessionTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInternetGetSession(0, session.ReleaseAndGetAddressOf(), 0), S_OK);
  }
  void TearDown() override {
    while (session->UnregisterNameSpace(&first, u"demo") == S_OK) {
    }
    while (session->UnregisterNameSpace(&second, u"demo") == S_OK) {
    }
  }
  IClassFactory* Find(std::u16string_view scheme) {
    ComPtr<IClassFactory> factory;
    if (FAILED(session->FindNameSpace(scheme, factory.ReleaseAndGetAddressOf())))
      return nullptr;
    return factory.Get();
  }

  TNamedFactory first;
  TNamedFactory second;
  ComPtr<IInternetSession> session;
};

TEST_F(SessionTest, SchemesMatchInAnyLetterCase) {
  ASSERT_EQ(session->RegisterNameSpace(&first, kClass, u"Demo", 0, nullptr, 0), S_OK);
  EXPECT_EQ(Find(u"demo"), &first);
  EXPECT_EQ(Find(u"DEMO"), &first);
  EXPECT_EQ(Find(u"demos"), nullptr);
  EXPECT_EQ(Find(u""), nullptr);
}

TEST_F(SessionTest, NewestRegistrationServesUntilUnregistered) {
  ASSERT_EQ(session->RegisterNameSpace(&first, kClass, u"demo", 0, nullptr, 0), S_OK);
  ASSERT_EQ(session->RegisterNameSpace(&second, kClass, u"demo", 0, nullptr, 0), S_OK);
  EXPECT_EQ(Find(u"demo"), &second);
  EXPECT_EQ(session->UnregisterNameSpace(&second, u"DEMO"), S_OK);
  EXPECT_EQ(Find(u"demo"), &first);
  EXPECT_EQ(session->UnregisterNameSpace(&second, u"demo"), S_FALSE);
  EXPECT_EQ(session->UnregisterNameSpace(&first, u"demo"), S_OK);
  EXPECT_EQ(Find(u"demo"), nullptr);
}

TEST_F(SessionTest, RegistrationHoldsItsFactoryUntilUnregistered) {
  first.AddRef();
  ULONG before = first.Release();
  ASSERT_EQ(session->RegisterNameSpace(&first, kClass, u"demo", 0, nullptr, 0), S_OK);
  first.AddRef();
  EXPECT_EQ(first.Release(), before + 1);
  ASSERT_EQ(session->UnregisterNameSpace(&first, u"demo"), S_OK);
  first.AddRef();
  EXPECT_EQ(first.Release(), before);
}

TEST(UserAgentOption, StoresTheTextWithItsExactLength) {
  const char text[] = "Tomelet/1.0 (documentation)";
  EXPECT_EQ(UrlMkSetSessionOption(URLMON_OPTION_USERAGENT, text, 7, 0), S_OK);
  EXPECT_EQ(SessionUserAgent(), "Tomelet");
  EXPECT_EQ(UrlMkSetSessionOption(URLMON_OPTION_USERAGENT, text, sizeof text - 1, 0), S_OK);
  EXPECT_EQ(SessionUserAgent(), text);
  EXPECT_EQ(UrlMkSetSessionOption(0x10000002, text, 3, 0), E_INVALIDARG);
  EXPECT_EQ(SessionUserAgent(), text);
  EXPECT_EQ(UrlMkSetSessionOption(URLMON_OPTION_USERAGENT, nullptr, 3, 0), E_INVALIDARG);
  EXPECT_EQ(UrlMkSetSessionOption(URLMON_OPTION_USERAGENT, nullptr, 0, 0), S_OK);
  EXPECT_EQ(SessionUserAgent(), "");
}

class MemoryStreamTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, true, stream.ReleaseAndGetAddressOf()), S_OK);
  }
  std::string ReadAll() {
    std::string text(64, '\0');
    ULONG count = 0;
    EXPECT_EQ(stream->Read(text.data(), static_cast<ULONG>(text.size()), &count), S_OK);
    text.resize(count);
    return text;
  }
  ComPtr<IStream> stream;
};

TEST_F(MemoryStreamTest, WriteSeekToEndAndBackThenRead) {
  ULONG written = 0;
  ASSERT_EQ(stream->Write("hello world", 11, &written), S_OK);
  EXPECT_EQ(written, 11u);
  std::uint64_t position = 0;
  ASSERT_EQ(stream->Seek(0, STREAM_SEEK_END, &position), S_OK);
  EXPECT_EQ(position, 11u);
  ASSERT_EQ(stream->Seek(0, STREAM_SEEK_SET, &position), S_OK);
  EXPECT_EQ(position, 0u);
  EXPECT_EQ(ReadAll(), "hello world");
  EXPECT_EQ(ReadAll(), "");
}

TEST_F(MemoryStreamTest, RelativeSeeksAndRefusedPositions) {
  ASSERT_EQ(stream->Write("abcdef", 6, nullptr), S_OK);
  std::uint64_t position = 0;
  ASSERT_EQ(stream->Seek(-2, STREAM_SEEK_CUR, &position), S_OK);
  EXPECT_EQ(position, 4u);
  EXPECT_EQ(ReadAll(), "ef");
  EXPECT_EQ(stream->Seek(-7, STREAM_SEEK_END, &position), E_INVALIDARG);
  EXPECT_EQ(stream->Seek(0, 9, &position), E_INVALIDARG);
  ASSERT_EQ(stream->Seek(-3, STREAM_SEEK_END, nullptr), S_OK);
  EXPECT_EQ(ReadAll(), "def");
}

TEST_F(MemoryStreamTest, AdoptedContentsReadFromTheirStart) {
  TMemoryStream contents;
  contents.Write(AsBytes("adopted"));
  ASSERT_EQ(CreateStreamOnMemory(std::move(contents), stream.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(ReadAll(), "adopted");
}

struct Utf16Case {
  std::string utf8;
  std::u16string utf16;
};

class TextConversion : public testing::TestWithParam<Utf16Case> {};

TEST_P(TextConversion, RoundTrips) {
  EXPECT_EQ(Utf8ToUtf16(GetParam().utf8), GetParam().utf16);
  EXPECT_EQ(Utf16ToUtf8(GetParam().utf16), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextConversion,
    testing::Values(Utf16Case{"", u""},
                    Utf16Case{"tome://inpack/a b.htm", u"tome://inpack/a b.htm"},
                    Utf16Case{"caf\xC3\xA9", u"caf\u00E9"}, Utf16Case{"\xE2\x82\xAC", u"\u20AC"},
                    Utf16Case{"\xF0\x9F\x93\x96", u"\U0001F4D6"}));

TEST(TextConversionFaults, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xE9z"), u"a\uFFFDz");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");
  const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
  EXPECT_EQ(Utf16ToUtf8(lone),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
}

}  // namespace
}  // namespace tomelet
