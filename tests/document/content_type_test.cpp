#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "document/ContentType.h"
#include "platform/mime/MimeTable.h"

namespace tomelet {
namespace {

std::vector<std::byte> Bytes(std::string_view text) {
  const auto* first = reinterpret_cast<const std::byte*>(text.data());
  return {first, first + text.size()};
}

// The type a name gives without help from the bytes: none when the bytes decide.
std::optional<std::string> MimeTypeForName(std::string_view url) {
  const std::string binary = ContentTypeFor(url, Bytes("\x01\x02"));
  const std::string page = ContentTypeFor(url, Bytes("<html>"));
  return binary == page ? std::optional(binary) : std::nullopt;
}

std::string WithCharset(std::string_view mimeType, std::string_view text) {
  return tomelet::WithCharset(mimeType, Bytes(text));
}

struct NamedType {
  const char* Url;
  const char* Type;
};

class MimeTypeByName : public ::testing::TestWithParam<NamedType> {};

TEST_P(MimeTypeByName, ComesFromTheExtensionOfThePath) {
  const auto found = MimeTypeForName(GetParam().Url);
  ASSERT_TRUE(found.has_value()) << GetParam().Url;
  EXPECT_EQ(*found, GetParam().Type);
}

INSTANTIATE_TEST_SUITE_P(
    CommonWebFiles, MimeTypeByName,
    ::testing::Values(NamedType{"tome://inpack/index.htm", "text/html"},
                      NamedType{"tome://inpack/INDEX.HTM", "text/html"},
                      NamedType{"tome://inpack/css/site.Css", "text/css"},
                      NamedType{"tome://inpack/app.js?v=3", "text/javascript"},
                      NamedType{"tome://inpack/data.json#top", "application/json"},
                      NamedType{"tome://inpack/a.b/photo.JPG", "image/jpeg"},
                      NamedType{"images\\logo.svg", "image/svg+xml"},
                      NamedType{"tome://inpack/favicon.ico", "image/vnd.microsoft.icon"},
                      NamedType{"tome://inpack/manual.pdf", "application/pdf"},
                      NamedType{"tome://inpack/setup.zip", "application/zip"},
                      NamedType{"tome://inpack/clip.mp4", "video/mp4"},
                      NamedType{"tome://inpack/fonts/f.woff2", "font/woff2"},
                      NamedType{"tome://inpack/pic.webp", "image/webp"},
                      NamedType{"tome://inpack/notes.txt", "text/plain"}));

TEST(MimeTypeByNameTest, KnowsNothingWithoutAKnownExtension) {
  EXPECT_FALSE(MimeTypeForName("tome://inpack/readme"));
  EXPECT_FALSE(MimeTypeForName("tome://inpack/v1.2/readme"));
  EXPECT_FALSE(MimeTypeForName("tome://inpack/archive.zqx"));
  EXPECT_FALSE(MimeTypeForName("tome://inpack/trailing."));
  EXPECT_FALSE(MimeTypeForName("tome://inpack/page?file=a.htm"));
  EXPECT_FALSE(MimeTypeForName("tome://inpack/page#a.htm"));
}

// Names outside the web types of every document come from the system's table.
TEST(MimeTypeByNameTest, OtherKnownExtensionsComeFromTheSystemsTable) {
  if (ReadMimeTypesFile(kSystemMimeTypesFile).empty())
    GTEST_SKIP() << kSystemMimeTypesFile << " is missing (media-types)";
  EXPECT_EQ(MimeTypeForName("tome://inpack/subtitles.vtt"), "text/vtt");
  EXPECT_EQ(MimeTypeForName("tome://inpack/README.MD"), "text/markdown");
  EXPECT_EQ(MimeTypeForName("tome://inpack/site.webmanifest"), "application/manifest+json");
  EXPECT_EQ(MimeTypeForName("tome://inpack/app.js"), "text/javascript");
}

TEST(MimeTypesFile, ReadsTypesAndTheirExtensionsSkippingComments) {
  const auto path = ::testing::TempDir() + "mime.types";
  std::ofstream(path) << "# comment text/fake fake\n\ntext/x-one\tone ONE2\napplication/x-none\n";
  const auto types = ReadMimeTypesFile(path);
  EXPECT_EQ(types, (TMimeTypesByExtension{{"one", "text/x-one"}, {"one2", "text/x-one"}}));
  EXPECT_TRUE(ReadMimeTypesFile(path + ".missing").empty());
}

TEST(MimeTypeForContentTest, TheNameWinsOverTheContent) {
  EXPECT_EQ(ContentTypeFor("tome://inpack/source.txt", Bytes("<html><body>x</body></html>")),
            "text/plain");
}

TEST(MimeTypeForContentTest, AnExtensionlessPageIsRecognisedAsAPage) {
  EXPECT_EQ(ContentTypeFor("tome://inpack/readme", Bytes("<!DOCTYPE html>\n<p>hello</p>")),
            "text/html");
}

TEST(MimeTypeForContentTest, PicturesAreRecognisedByTheirSignature) {
  EXPECT_EQ(ContentTypeFor("tome://inpack/image.dat", Bytes("\x89PNG\r\n\x1a\n\0\0\0\rIHDR")),
            "image/png");
  EXPECT_EQ(ContentTypeFor("tome://inpack/anim", Bytes("GIF89a\x01\x00\x01\x00")), "image/gif");
}

TEST(MimeTypeForContentTest, AnEmptyReplyIsAnEmptyPage) {
  EXPECT_EQ(ContentTypeFor("tome://inpack/empty", {}), "text/html");
}

TEST(MimeTypeForContentTest, UnrecognisedBytesAreGenericBinaryData) {
  EXPECT_EQ(ContentTypeFor("tome://inpack/blob", Bytes("\x01\x02\x03\xff\xfe\x00\x07")),
            "application/octet-stream");
}

TEST(MimeTypeForContentTest, PlainTextIsText) {
  EXPECT_EQ(ContentTypeFor("tome://inpack/LICENSE", Bytes("Permission is hereby granted.\n")),
            "text/plain");
}

TEST(CharsetTest, UtfEightIsNamedUnlessTheTextNamesItsOwn) {
  EXPECT_EQ(WithCharset("text/plain", "L\xC3\xB6wis"), "text/plain; charset=utf-8");
  EXPECT_EQ(WithCharset("text/plain", "L\xF6wis"), "text/plain");
  EXPECT_EQ(WithCharset("application/json", "{}"), "application/json; charset=utf-8");
  EXPECT_EQ(WithCharset("image/png", "plain"), "image/png");
  EXPECT_EQ(WithCharset("text/html", "<meta charset=\"windows-1252\"><p>x"), "text/html");
  EXPECT_EQ(WithCharset("text/html",
                        "<META HTTP-EQUIV=\"Content-Type\" "
                        "CONTENT=\"text/html; CHARSET=iso-8859-1\">"),
            "text/html");
  EXPECT_EQ(WithCharset("text/css", "@charset \"utf-16\";"), "text/css");
  EXPECT_EQ(WithCharset("image/svg+xml", "<?xml version=\"1.0\" encoding=\"latin1\"?>"),
            "image/svg+xml");
  // A declaration beyond where a browser looks for one does not count.
  EXPECT_EQ(WithCharset("text/html", std::string(2000, ' ') + "<meta charset=\"koi8-r\">"),
            "text/html; charset=utf-8");
  // The viewer's whole reply, typed by name or by its bytes, then given its charset.
  EXPECT_EQ(ContentTypeWithCharset("tome://inpack/readme", Bytes("Gr\xC3\xBC\xC3\x9F")),
            "text/plain; charset=utf-8");
}

}  // namespace
}  // namespace tomelet
