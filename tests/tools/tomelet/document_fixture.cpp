#include "document_fixture.h"

#include <fstream>

#include "document/ProjectOptions.h"

namespace tomelet::testing {

TZLBArchiveWriter SampleWriter() {
  TZLBArchiveWriter writer;
  writer.AddEntry("index.htm", kPageContents);
  writer.AddEntry("images\\logo.png", kBinaryContents, fcNone);
  writer.AddEntry("guide\\intro.htm", "<p>Intro</p>");
  writer.AddEntry("caf\xE9.htm", "Windows-1252 name");
  TProjectOptions options;
  options.SetShortStringAt(option_offset::StartPage, "index.htm");
  options.SetIntegerAt(option_offset::WindowWidth, 900);
  options.SetBooleanAt(option_offset::AllowCopy, true);
  writer.AddEntry("-config-", options.Bytes());
  return writer;
}

void PatchByte(const std::filesystem::path& file, std::int64_t offset, unsigned char value) {
  const auto size = static_cast<std::int64_t>(std::filesystem::file_size(file));
  std::fstream stream(file, std::ios::binary | std::ios::in | std::ios::out);
  stream.seekp(offset < 0 ? size + offset : offset);
  stream.put(static_cast<char>(value));
}

void FlipBytes(const std::filesystem::path& file, std::int64_t offset, int count) {
  std::fstream stream(file, std::ios::binary | std::ios::in | std::ios::out);
  for (std::int64_t at = offset; at < offset + count; ++at) {
    stream.seekg(at);
    const int byte = stream.get();
    stream.seekp(at);
    stream.put(static_cast<char>(~byte));
  }
}

std::int32_t TrailerInt32(const std::filesystem::path& file, std::size_t offset) {
  std::ifstream in(file, std::ios::binary);
  in.seekg(-36 + static_cast<std::int64_t>(offset), std::ios::end);
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(in.get())) << (8 * i);
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace tomelet::testing
