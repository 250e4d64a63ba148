// One table of entries, sound and damaged, read through every reader of a document: `cat`,
// `verify` and `extract` as a user runs them, the viewer's request core over the viewer's reader,
// and the server over HTTP, whole and with the deflated form asked for. Each must give the same
// bytes, or refuse the entry; a server that has already sent its headers must cut the reply short.
#include <zlib.h>

#include <cstring>
#include <functional>
#include <optional>

#include "ZLIBArchive2/ZLIBArchive2.h"
#include "document/Document.h"
#include "document/DocumentAddress.h"
#include "document/DocumentRequest.h"
#include "serve_fixture.h"
#include "tests/tools/tomelet/tool_process.h"

namespace tomelet::serve::testing {
namespace {

using tomelet::testing::RunTool;

constexpr std::string_view kName = "entry.txt";
constexpr std::int64_t kMiB = std::int64_t{1} << 20;
const std::string kCorrupted = "The archive appears to be corrupted";
const std::string kFailedCrc = "entry.txt failed CRC check";

// A zlib stream of mebibytes MiB of zero bytes, about a KiB for each. After a full flush the
// deflater refers to nothing before it, so one flushed MiB can be repeated as often as wanted.
std::string ZerosStream(std::int64_t mebibytes) {
  const std::string zeros(static_cast<std::size_t>(kMiB), '\0');
  z_stream stream{};
  deflateInit(&stream, 9);
  const auto flushedMiB = [&stream, &zeros] {
    std::string out(static_cast<std::size_t>(kMiB), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    stream.avail_in = static_cast<uInt>(zeros.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FULL_FLUSH);
    out.resize(out.size() - stream.avail_out);
    return out;
  };
  std::string packed = flushedMiB();  // with the two-byte header
  const std::string repeated = flushedMiB();
  deflateEnd(&stream);
  for (std::int64_t i = 1; i < mebibytes; ++i) {
    packed += repeated;
  }
  // A final empty block, then the Adler-32 of that many zeros: its low half stays 1.
  const auto total = static_cast<std::uint64_t>(mebibytes * kMiB);
  const std::uint32_t adler = static_cast<std::uint32_t>(total % 65521) << 16 | 1;
  packed += std::string("\x03\x00", 2);
  for (int shift = 24; shift >= 0; shift -= 8) {
    packed += static_cast<char>((adler >> shift) & 0xFF);
  }
  return packed;
}

// One entry as some writer might have left it, and what every reader must make of it.
struct CaseEntry {
  int version = 2;
  TArchiveEntry record;
  std::string data;
  // The contents every reader gives, or nullopt when every reader refuses the entry.
  std::optional<std::string> contents;
  // What `cat`, `verify` and `extract` say last when they refuse it.
  std::string message;
  // Its stream goes on past its size: read as its first OriginalSize bytes, and noted by verify.
  bool goesOn = false;
};

// Built when its test runs, so that listing the tests makes no large entries.
struct ReadCase {
  std::string label;
  std::function<CaseEntry()> make;
};

CaseEntry Deflate(std::string_view plain, std::int64_t claimedSize, std::uint32_t crc,
                  std::optional<std::string> contents, std::string message = "") {
  const bool goesOn = contents && claimedSize < static_cast<std::int64_t>(plain.size());
  std::string packed = Deflated(plain);
  const auto compressedSize = static_cast<std::int64_t>(packed.size());
  return {2,
          {.FileName = std::string(kName),
           .Path = {},
           .OriginalSize = claimedSize,
           .CompressedSize = compressedSize,
           .CRC = crc},
          std::move(packed),
          std::move(contents),
          std::move(message),
          goesOn};
}

CaseEntry Store(std::string bytes, std::uint32_t crc, std::optional<std::string> contents,
                std::string message = "") {
  const auto size = static_cast<std::int64_t>(bytes.size());
  return {2,
          {.FileName = std::string(kName),
           .Path = {},
           .OriginalSize = size,
           .CRC = crc,
           .Method = kMethodStored,
           .Level = fcNone},
          std::move(bytes),
          std::move(contents),
          std::move(message)};
}

// A record of a version 1 document whose 32-bit size reads as -1: the reader gives it as empty,
// and its CRC is then that of no bytes.
CaseEntry NegativeSize(std::uint8_t method, std::uint32_t crc, std::optional<std::string> contents,
                       std::string message = "") {
  std::string packed = Deflated("neither inflated nor copied");
  const auto compressedSize = static_cast<std::int64_t>(packed.size());
  return {1,
          {.FileName = std::string(kName),
           .Path = {},
           .OriginalSize = -1,
           .CompressedSize = compressedSize,
           .CRC = crc,
           .Method = method},
          std::move(packed),
          std::move(contents),
          std::move(message)};
}

std::string Page() {
  return PageText("Entry", 400);
}

std::int64_t SizeOf(std::string_view bytes) {
  return static_cast<std::int64_t>(bytes.size());
}

// Above what the server holds whole (8 MiB) and what verify, extract and the viewer hold whole
// (16 MiB), so every reader streams it.
std::string Large() {
  return PageText("Large", 17 * kMiB / 25);
}

std::vector<ReadCase> Cases() {
  return {
      {"Sound", [] { return Deflate(Page(), SizeOf(Page()), Crc(Page()), Page()); }},
      {"SoundStored",
       [] {
         const std::string noise = NoiseBytes(14572, 7);
         return Store(noise, Crc(noise), noise);
       }},
      {"Version1NegativeSize", [] { return NegativeSize(kMethodDeflated, 0, ""); }},
      {"Version1NegativeSizeStored", [] { return NegativeSize(kMethodStored, 0, ""); }},
      {"Version1NegativeSizeWrongCrc",
       [] { return NegativeSize(kMethodDeflated, Crc(Page()), std::nullopt, kFailedCrc); }},
      {"WrongCrc",
       [] { return Deflate(Page(), SizeOf(Page()), Crc(Page()) ^ 1, std::nullopt, kFailedCrc); }},
      {"StoredByteFlipped",
       [] {
         const std::string noise = NoiseBytes(14572, 7);
         std::string flipped = noise;
         flipped[7000] = static_cast<char>(flipped[7000] ^ 0x20);
         return Store(flipped, Crc(noise), std::nullopt, kFailedCrc);
       }},
      {"StreamShorterThanSize",
       [] { return Deflate(Page(), SizeOf(Page()) + 1, Crc(Page()), std::nullopt, kCorrupted); }},
      // Stored documents rely on an entry being its first OriginalSize bytes.
      {"StreamLongerThanSize",
       [] {
         const std::string page = Page();
         const std::string prefix = page.substr(0, page.size() - 1);
         return Deflate(page, SizeOf(prefix), Crc(prefix), prefix);
       }},
      {"StreamLongerThanSizeWrongCrc",
       [] {
         const std::string page = Page();
         return Deflate(page, SizeOf(page) - 1, Crc(page), std::nullopt, kFailedCrc);
       }},
      {"LargeWrongCrc",
       [] {
         const std::string large = Large();
         return Deflate(large, SizeOf(large), Crc(large) ^ 1, std::nullopt, kFailedCrc);
       }},
      {"LargeStreamLongerThanSize",
       [] {
         const std::string large = Large();
         const std::string prefix = large.substr(0, large.size() - static_cast<std::size_t>(kMiB));
         return Deflate(large, SizeOf(prefix), Crc(prefix), prefix);
       }},
      {"ClaimsThousandInflatesTwoGiB",
       [] {
         std::string zeros = ZerosStream(2048);
         const auto compressedSize = SizeOf(zeros);
         return CaseEntry{2,
                          {.FileName = std::string(kName),
                           .Path = {},
                           .OriginalSize = 1000,
                           .CompressedSize = compressedSize,
                           .CRC = Crc(std::string(1000, '\0'))},
                          std::move(zeros),
                          std::string(1000, '\0'),
                          "",
                          true};
       }},
  };
}

class EveryReaderAgrees : public ServeTest, public ::testing::WithParamInterface<ReadCase> {
 protected:
  void SetUp() override {
    c_ = GetParam().make();
    const CaseEntry& c = c_;
    testDocument_ = TTestDocument();
    if (c.version == 1) {
      testDocument_.FirstVersion();
    }
    testDocument_.Entry("index.htm", PageText("Start", 20))
        .RawEntry(c.record, c.data)
        .StartPageOption("index.htm");
    Serve();
  }

  // The viewer's reader as the viewer sets it, asked through the request core over the document
  // it shares; the contents, or nullopt when the request fails, at once or while a large entry is
  // read.
  std::optional<std::string> ThroughViewer() const {
    TZLBArc2 arc;
    arc.VerifyArchiveCRC = false;
    arc.OpenArchive(document_.string());
    TDocumentReply reply = RequestDocumentEntry(
        *ShareDocument(arc), std::string(kDocumentUrlPrefix) + std::string(kName), {});
    if (reply.Status != TDocumentReply::TStatus::Served) {
      return std::nullopt;
    }
    if (!reply.LargeContents) {
      return std::string(reply.Contents.View());
    }
    std::string contents;
    std::string piece(65536, '\0');
    try {
      while (const std::size_t got = reply.LargeContents->Read(
                 std::as_writable_bytes(std::span(piece.data(), piece.size())))) {
        contents.append(piece.data(), got);
      }
    } catch (const EZLBArchiveError&) {
      return std::nullopt;
    }
    return contents;
  }

  // The server's reply; nullopt for an error status or a reply cut before its end.
  std::optional<std::string> ThroughServer(const httplib::Headers& headers) const {
    const auto result = Get("/" + std::string(kName), headers);
    if (!result || result->status >= 500) {
      return std::nullopt;
    }
    EXPECT_EQ(result->status, 200);
    if (result->get_header_value("Content-Encoding") == "deflate") {
      return Inflate(result->body);
    }
    return result->body;
  }

  // The site's own answer, below the transport: an error status, or a body that raises before
  // its last byte.
  void ExpectSiteRefuses() const {
    TSiteRequest request;
    request.Method = "GET";
    request.Target = "/entry.txt";
    const auto response = site_->Respond(request);
    if (response.Status != 200) {
      EXPECT_EQ(response.Status, 500);
      return;
    }
    // Only entries above what the server holds whole are streamed.
    EXPECT_GT(c_.record.OriginalSize, 8 * kMiB);
    ASSERT_NE(response.Body, nullptr);
    std::int64_t sent = 0;
    const auto drain = [&] {
      for (auto piece = response.Body->Next(); !piece.empty(); piece = response.Body->Next()) {
        sent += SizeOf({reinterpret_cast<const char*>(piece.data()), piece.size()});
      }
    };
    EXPECT_THROW(drain(), EZLBArchiveError);
    EXPECT_LT(sent, response.ContentLength);
  }

  CaseEntry c_;
};

TEST_P(EveryReaderAgrees, EveryReaderGivesTheEntryOrRefusesIt) {
  const CaseEntry& c = c_;
  const std::string document = document_.string();
  const auto cat = RunTool({"cat", document, std::string(kName)});
  const auto verify = RunTool({"verify", document});
  const tomelet::testing::TScratchFolder target;
  const auto extract =
      RunTool({"extract", document, "-C", target.Path().string(), "--", std::string(kName)});
  const auto extracted = target.Path() / std::string(kName);
  if (c.contents) {
    EXPECT_EQ(cat.exitCode, 0) << cat.err;
    EXPECT_TRUE(cat.out == *c.contents);
    EXPECT_EQ(verify.exitCode, 0) << verify.err;
    EXPECT_EQ(
        verify.err.find("Note: entry.txt: its stream goes on past its size") != std::string::npos,
        c.goesOn)
        << verify.err;
    ASSERT_EQ(extract.exitCode, 0) << extract.err;
    EXPECT_TRUE(tomelet::testing::ReadFile(extracted) == *c.contents);
    EXPECT_TRUE(ThroughViewer() == c.contents);
    EXPECT_TRUE(ThroughServer({}) == c.contents);
    EXPECT_TRUE(ThroughServer({{"Accept-Encoding", "deflate"}}) == c.contents);
    return;
  }
  EXPECT_NE(cat.exitCode, 0);
  EXPECT_TRUE(cat.out.empty());
  EXPECT_EQ(cat.LastErrorLine(), c.message);
  EXPECT_NE(verify.exitCode, 0);
  EXPECT_EQ(verify.LastErrorLine(), c.message);
  EXPECT_NE(verify.err.find("Damaged entry: entry.txt"), std::string::npos) << verify.err;
  EXPECT_NE(extract.exitCode, 0);
  EXPECT_EQ(extract.LastErrorLine(), c.message);
  EXPECT_FALSE(std::filesystem::exists(extracted));
  EXPECT_EQ(ThroughViewer(), std::nullopt);
  EXPECT_EQ(ThroughServer({}), std::nullopt);
  EXPECT_EQ(ThroughServer({{"Accept-Encoding", "deflate"}}), std::nullopt);
  ExpectSiteRefuses();
}

INSTANTIATE_TEST_SUITE_P(Table, EveryReaderAgrees, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.label; });

}  // namespace
}  // namespace tomelet::serve::testing
