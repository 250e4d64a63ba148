// Each frame is a tag byte, a little-endian 64-bit length, then that many bytes. Facts and the
// map travel as JSON; a page's frame begins with the length of its path.
#include "import/SourceStream.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <vector>

namespace tomelet::importer {
namespace {

using json = nlohmann::json;

enum TTag : char {
  kBegin = 'B',
  kPage = 'P',
  kLogo = 'L',
  kMap = 'M',
  kFailure = 'F',
};

void WriteAll(int output, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(output, bytes, size);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      throw std::runtime_error(std::string("Cannot hand the source over: ") + std::strerror(errno));
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
}

void WriteFrame(int output, TTag tag, std::initializer_list<std::string_view> parts) {
  std::uint64_t length = 0;
  for (const std::string_view part : parts)
    length += part.size();
  char header[9] = {tag};
  for (int i = 0; i < 8; ++i)
    header[1 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  WriteAll(output, header, sizeof header);
  for (const std::string_view part : parts)
    WriteAll(output, part.data(), part.size());
}

std::string_view Text(std::span<const std::byte> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

json KeywordJson(const TKeyword& keyword) {
  return {
      keyword.Term, keyword.Page, keyword.Anchor, keyword.PageTitle, static_cast<int>(keyword.Kind),
      keyword.Type};
}

TKeyword KeywordFromJson(const json& item) {
  const int kind = item.at(4).get<int>();
  if (kind < 0 || kind > static_cast<int>(TKeywordKind::Definition))
    throw std::runtime_error("a keyword of an unknown kind");
  return {item.at(0).get<std::string>(),   item.at(1).get<std::string>(),
          item.at(2).get<std::string>(),   item.at(3).get<std::string>(),
          static_cast<TKeywordKind>(kind), item.at(5).get<std::string>()};
}

class TFramingSink final : public ISourceSink {
 public:
  explicit TFramingSink(int output) : output_(output) {}

  void Begin(const TSourceFacts& facts) override {
    const std::string text = json{
        {"start", facts.StartPage},
        {"title", facts.Title},
        {"language", facts.Language},
        {"pages",
         facts.PageCount}}.dump(-1, ' ', false, json::error_handler_t::replace);
    WriteFrame(output_, kBegin, {text});
  }
  void Page(std::string_view path, std::span<const std::byte> bytes) override {
    const auto size = static_cast<std::uint32_t>(path.size());
    const char length[4] = {static_cast<char>(size & 0xFF), static_cast<char>((size >> 8) & 0xFF),
                            static_cast<char>((size >> 16) & 0xFF), static_cast<char>(size >> 24)};
    WriteFrame(output_, kPage, {std::string_view(length, 4), path, Text(bytes)});
  }
  void Logo(std::span<const std::byte> image) override {
    WriteFrame(output_, kLogo, {Text(image)});
  }
  void Map(TContents contents, std::vector<TKeyword> keywords) override {
    json list = json::array();
    for (const TKeyword& keyword : keywords)
      list.push_back(KeywordJson(keyword));
    const std::string text = json{
        {"contents", json::parse(ContentsToJson(contents))},
        {"keywords",
         std::move(list)}}.dump(-1, ' ', false, json::error_handler_t::replace);
    WriteFrame(output_, kMap, {text});
  }

 private:
  int output_;
};

// Reads exactly what a frame says, however the pipe splits it.
class TFrameReader {
 public:
  explicit TFrameReader(TBoundedChild& child) : child_(child) {}

  // False at a clean end between frames.
  bool Next(TTag& tag, std::uint64_t& length) {
    char header[9];
    const std::size_t got = Fill(header, sizeof header);
    if (got == 0)
      return false;
    if (got < sizeof header)
      Cut();
    tag = static_cast<TTag>(header[0]);
    length = 0;
    for (int i = 7; i >= 0; --i)
      length = (length << 8) | static_cast<unsigned char>(header[1 + i]);
    return true;
  }

  std::vector<std::byte> Body(std::uint64_t length) {
    std::vector<std::byte> body(static_cast<std::size_t>(length));
    if (Fill(body.data(), body.size()) < body.size())
      Cut();
    return body;
  }

  [[noreturn]] static void Cut() { throw std::runtime_error("the reader ended unexpectedly"); }

 private:
  std::size_t Fill(void* data, std::size_t size) {
    auto* bytes = static_cast<std::byte*>(data);
    std::size_t done = 0;
    while (done < size) {
      const std::size_t count = child_.Read({bytes + done, size - done});
      if (count == 0)
        break;
      done += count;
    }
    return done;
  }

  TBoundedChild& child_;
};

TSourceFacts FactsFromJson(std::string_view text) {
  const json facts = json::parse(text);
  return {facts.at("start").get<std::string>(), facts.at("title").get<std::string>(),
          facts.at("language").get<std::string>(), facts.at("pages").get<std::size_t>()};
}

void ReplayMap(std::string_view text, ISourceSink& sink) {
  const json map = json::parse(text);
  std::vector<TKeyword> keywords;
  for (const json& item : map.at("keywords"))
    keywords.push_back(KeywordFromJson(item));
  sink.Map(ContentsFromJson(map.at("contents").dump()), std::move(keywords));
}

void ReplayPage(const std::vector<std::byte>& body, ISourceSink& sink) {
  if (body.size() < 4)
    TFrameReader::Cut();
  std::uint32_t size = 0;
  for (int i = 3; i >= 0; --i)
    size = (size << 8) | static_cast<std::uint8_t>(body[static_cast<std::size_t>(i)]);
  if (size > body.size() - 4)
    TFrameReader::Cut();
  const std::string_view path(reinterpret_cast<const char*>(body.data()) + 4, size);
  sink.Page(path, std::span(body).subspan(4 + size));
}

}  // namespace

std::unique_ptr<ISourceSink> FramingSink(int output) {
  return std::make_unique<TFramingSink>(output);
}

void SendFailure(int output, std::string_view message) {
  WriteFrame(output, kFailure, {message});
}

void ReplayFrames(TBoundedChild& child, ISourceSink& sink, const TReplayLimits& limits) {
  TFrameReader reader(child);
  TTag tag{};
  std::uint64_t length = 0;
  std::uint64_t total = 0;
  bool mapped = false;
  while (reader.Next(tag, length)) {
    const bool isMap = tag == kMap || tag == kBegin || tag == kFailure;
    if (length > (isMap ? limits.LargestMap : limits.LargestFile))
      throw std::runtime_error("an entry is larger than " + std::to_string(limits.LargestFile) +
                               " bytes");
    total += length;
    if (limits.TotalBytes > 0 && total > limits.TotalBytes)
      throw std::runtime_error("the source expands to more than " +
                               std::to_string(limits.TotalBytes) + " bytes");
    const std::vector<std::byte> body = reader.Body(length);
    try {
      switch (tag) {
        case kBegin:
          sink.Begin(FactsFromJson(Text(body)));
          break;
        case kPage:
          ReplayPage(body, sink);
          break;
        case kLogo:
          sink.Logo(body);
          break;
        case kMap:
          ReplayMap(Text(body), sink);
          mapped = true;
          break;
        case kFailure:
          throw std::runtime_error(std::string(Text(body)));
        default:
          TFrameReader::Cut();
      }
    } catch (const json::exception&) {
      TFrameReader::Cut();
    } catch (const EDocumentMapError&) {
      TFrameReader::Cut();
    }
  }
  if (!mapped)
    TFrameReader::Cut();
}

}  // namespace tomelet::importer
