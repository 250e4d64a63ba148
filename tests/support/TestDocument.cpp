#include "tests/support/TestDocument.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/DocumentEntries.h"
#include "tests/support/ArchiveBytes.h"

namespace tomelet::testing {
namespace {

// The running test's name as one folder name ("Case/3" becomes "Case-3").
std::string FolderNameOfCurrentTest() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test ? test->name() : "suite";
  std::replace(name.begin(), name.end(), '/', '-');
  return name;
}

// A record for archivePath ("images\\logo.png"): its folders go to Path, the rest to FileName.
TArchiveEntry RecordFor(std::string_view archivePath) {
  const auto folderEnd = archivePath.rfind('\\');
  const std::size_t nameStart = folderEnd == std::string_view::npos ? 0 : folderEnd + 1;
  TArchiveEntry record;
  record.Path = std::string(archivePath.substr(0, nameStart));
  record.FileName = std::string(archivePath.substr(nameStart));
  return record;
}

}  // namespace

TScratchFolder::TScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() /
                         ("tomelet-" + FolderNameOfCurrentTest() + "-XXXXXX"))
                            .string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a scratch folder");
  }
  path_ = pattern;
}

TScratchFolder::~TScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

TTestDocument& TTestDocument::Entry(std::string_view archivePath, std::string_view contents,
                                    TFileCompressionLevel level) {
  entries_.push_back({std::string(archivePath), std::string(contents), level, std::nullopt});
  return *this;
}

TTestDocument& TTestDocument::Entry(std::string_view archivePath,
                                    std::span<const std::byte> contents,
                                    TFileCompressionLevel level) {
  return Entry(archivePath, Text(contents), level);
}

TTestDocument& TTestDocument::RawEntry(TArchiveEntry record, std::string_view data) {
  entries_.push_back({record.ArchivePath(), std::string(data), fcNone, std::move(record)});
  return *this;
}

TTestDocument& TTestDocument::RawEntry(TArchiveEntry record, std::span<const std::byte> data) {
  return RawEntry(std::move(record), Text(data));
}

TTestDocument& TTestDocument::WrongCrc(std::string_view archivePath, std::string_view contents) {
  TArchiveEntry record = RecordFor(archivePath);
  record.OriginalSize = static_cast<std::int64_t>(contents.size());
  record.CRC = Crc(contents) ^ 1;
  record.Method = kMethodStored;
  return RawEntry(std::move(record), contents);
}

TTestDocument& TTestDocument::Encrypted(std::string_view archivePath, std::string_view contents) {
  TArchiveEntry record = RecordFor(archivePath);
  record.OriginalSize = static_cast<std::int64_t>(contents.size());
  record.DecryptSize = record.OriginalSize;
  record.Method = kMethodStoredEncrypted;
  return RawEntry(std::move(record), contents);
}

TTestDocument& TTestDocument::Claiming(std::string_view archivePath, std::string_view zlibStream,
                                       std::int64_t originalSize, std::uint32_t crc) {
  TArchiveEntry record = RecordFor(archivePath);
  record.OriginalSize = originalSize;
  record.CompressedSize = static_cast<std::int64_t>(zlibStream.size());
  record.CRC = crc;
  return RawEntry(std::move(record), zlibStream);
}

TTestDocument& TTestDocument::Options(const TProjectOptions& options) {
  options_ = options;
  return *this;
}

TTestDocument& TTestDocument::OptionsBytes(std::string_view record) {
  optionsBytes_ = std::string(record);
  return *this;
}

TProjectOptions& TTestDocument::EditedOptions() {
  if (!options_) {
    options_.emplace();
  }
  return *options_;
}

TTestDocument& TTestDocument::StartPageOption(std::string_view startPageOption) {
  EditedOptions().SetShortStringAt(option_offset::StartPage, startPageOption);
  return *this;
}

TTestDocument& TTestDocument::Password(std::string_view password) {
  EditedOptions().SetShortStringAt(option_offset::AccessPassword, password);
  return *this;
}

TTestDocument& TTestDocument::Logo(std::string_view icon) {
  logo_ = std::string(icon);
  return *this;
}

TTestDocument& TTestDocument::FirstVersion() {
  version_ = 1;
  return *this;
}

TTestDocument& TTestDocument::PlainRegistry() {
  compressRegistry_ = false;
  return *this;
}

TTestDocument& TTestDocument::AfterExecutable(const std::filesystem::path& executable) {
  executable_ = executable;
  return *this;
}

void TTestDocument::AddTo(TZLBArchiveWriter& writer) const {
  for (const TPlannedEntry& entry : entries_) {
    if (entry.Raw) {
      writer.AddRawEntry(*entry.Raw, AsBytes(entry.Contents));
    } else {
      writer.AddEntry(entry.Path, entry.Contents, entry.Level);
    }
  }
  if (optionsBytes_) {
    writer.AddEntry(kConfigEntry, *optionsBytes_);
  } else if (options_) {
    writer.AddEntry(kConfigEntry, options_->Bytes());
  }
  if (logo_) {
    writer.AddEntry(kLogoEntry, *logo_);
  }
}

std::vector<std::byte> TTestDocument::Bytes() const {
  TZLBArchiveWriter writer({.Version = version_, .CompressRegistry = compressRegistry_});
  AddTo(writer);
  return writer.Bytes();
}

std::filesystem::path TTestDocument::WriteTo(const std::filesystem::path& file) const {
  TZLBArchiveWriter writer({.Version = version_, .CompressRegistry = compressRegistry_});
  AddTo(writer);
  writer.WriteFile(file.string(), executable_.string());
  return file;
}

const std::string& TTestDocument::Contents(std::string_view archivePath) const {
  for (const TPlannedEntry& entry : entries_) {
    if (!entry.Raw && entry.Path == archivePath) {
      return entry.Contents;
    }
  }
  throw std::invalid_argument("the test document has no entry " + std::string(archivePath));
}

const TProjectOptions& TTestDocument::OptionsRecord() const {
  if (!options_) {
    throw std::logic_error("the test document has no options record");
  }
  return *options_;
}

TTestDocument SampleDocument() {
  TProjectOptions options;
  options.SetShortStringAt(option_offset::StartPage, "index.htm");
  options.SetIntegerAt(option_offset::WindowWidth, 900);
  options.SetBooleanAt(option_offset::AllowCopy, true);
  TTestDocument document;
  document.Entry("index.htm", kSamplePage)
      .Stored("images\\logo.png", kSampleBinary)
      .Entry("guide\\intro.htm", "<p>Intro</p>")
      .Entry("caf\xE9.htm", "Windows-1252 name")
      .Options(options);
  return document;
}

TProjectOptions AllEnabledOptions(const std::string& startPageOption, int width, int height) {
  TProjectOptions options;
  options.SetShortStringAt(option_offset::StartPage, startPageOption);
  options.SetIntegerAt(option_offset::WindowBorder, 2);
  options.SetIntegerAt(option_offset::WindowWidth, width);
  options.SetIntegerAt(option_offset::WindowHeight, height);
  for (auto offset :
       {option_offset::CenterWindow, option_offset::ShowToolBar, option_offset::ShowButtonCaptions,
        option_offset::ShowStatusBar, option_offset::AllowCopy, option_offset::AllowFind,
        option_offset::AllowPrint, option_offset::AllowFontSize}) {
    options.SetBooleanAt(offset, true);
  }
  return options;
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
  in.seekg(-static_cast<std::int64_t>(kTrailerSize) + static_cast<std::int64_t>(offset),
           std::ios::end);
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(in.get())) << (8 * i);
  }
  return static_cast<std::int32_t>(value);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::filesystem::path& path, std::string_view contents) {
  if (path.has_parent_path()) {
    std::filesystem::create_directories(path.parent_path());
  }
  std::ofstream out(path, std::ios::binary);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

}  // namespace tomelet::testing
