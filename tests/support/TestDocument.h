// The one builder of test documents: entries, options record, logo and password, in either
// layout, written to a .tlt file or after an executable; the damage hostile tests do to a written
// file; and a scratch folder per test to put them in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZLIBArchive2/ZLIBArchive2.h"
#include "document/ProjectOptions.h"

namespace tomelet {
class TZLBArchiveWriter;
}

namespace tomelet::testing {

// A fresh folder named after the running test, removed with everything in it at the end.
class TScratchFolder {
 public:
  TScratchFolder();
  ~TScratchFolder();
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

class TTestDocument {
 public:
  // Deflated unless the deflated form would not be smaller; level fcNone stores it.
  TTestDocument& Entry(std::string_view archivePath, std::string_view contents,
                       TFileCompressionLevel level = fcDefault);
  TTestDocument& Entry(std::string_view archivePath, std::span<const std::byte> contents,
                       TFileCompressionLevel level = fcDefault);
  TTestDocument& Stored(std::string_view archivePath, std::string_view contents) {
    return Entry(archivePath, contents, fcNone);
  }
  TTestDocument& Stored(std::string_view archivePath, std::span<const std::byte> contents) {
    return Entry(archivePath, contents, fcNone);
  }
  // A record and data block exactly as given, only the offset placed by the writer: the wrong
  // sizes, CRCs and methods a sound writer never makes.
  TTestDocument& RawEntry(TArchiveEntry record, std::string_view data);
  TTestDocument& RawEntry(TArchiveEntry record, std::span<const std::byte> data);
  // A stored entry whose CRC does not match its bytes, found only when it is read.
  TTestDocument& WrongCrc(std::string_view archivePath, std::string_view contents);
  // A stored entry whose method says it is encrypted.
  TTestDocument& Encrypted(std::string_view archivePath, std::string_view contents);
  // A zlib stream whose record claims originalSize bytes and the CRC of the claim.
  TTestDocument& Claiming(std::string_view archivePath, std::string_view zlibStream,
                          std::int64_t originalSize, std::uint32_t crc = 0);

  // The "-config-" entry, written after every other entry and before the logo.
  TTestDocument& Options(const TProjectOptions& options);
  // Any bytes as the "-config-" entry, a short or malformed record included.
  TTestDocument& OptionsBytes(std::string_view record);
  TTestDocument& StartPageOption(std::string_view startPageOption);
  TTestDocument& Password(std::string_view password);
  // The "-logo-" entry, written last.
  TTestDocument& Logo(std::string_view icon);

  // The layout of the format's first version: 32-bit sizes and offsets, 532-byte records.
  TTestDocument& FirstVersion();
  TTestDocument& PlainRegistry();
  // Writes the document after a copy of this file, as the viewer's own executable carries one.
  TTestDocument& AfterExecutable(const std::filesystem::path& executable);

  std::vector<std::byte> Bytes() const;
  // Writes the document to file and returns its path.
  std::filesystem::path WriteTo(const std::filesystem::path& file) const;
  // What an entry added with Entry holds, for comparing with what a reader gives.
  const std::string& Contents(std::string_view archivePath) const;
  const TProjectOptions& OptionsRecord() const;

 private:
  struct TPlannedEntry {
    std::string Path;
    std::string Contents;
    TFileCompressionLevel Level = fcDefault;
    std::optional<TArchiveEntry> Raw;
  };
  void AddTo(TZLBArchiveWriter& writer) const;
  TProjectOptions& EditedOptions();

  std::vector<TPlannedEntry> entries_;
  std::optional<TProjectOptions> options_;
  std::optional<std::string> optionsBytes_;
  std::optional<std::string> logo_;
  int version_ = 2;
  bool compressRegistry_ = true;
  std::filesystem::path executable_;
};

// A deflated page, a stored binary entry with NUL bytes, a page in a folder, a name in
// Windows-1252, and an options record with a start page, a width and copying allowed.
TTestDocument SampleDocument();
inline const std::string kSampleBinary = std::string("\x89PNG\0\0\x01\x02", 8);
inline const std::string kSamplePage =
    "<html><head><title>Home</title></head><body>" + std::string(2000, 'x') + "</body></html>";

// A record that shows every bar and allows every command, in a sizeable centred window.
TProjectOptions AllEnabledOptions(const std::string& startPageOption, int width, int height);

// Damage done to a written document, as a disk or a hostile author would do it.
// Writes value over the byte at offset from the start, or from the end when offset is negative.
void PatchByte(const std::filesystem::path& file, std::int64_t offset, unsigned char value);
// Inverts count bytes from offset on.
void FlipBytes(const std::filesystem::path& file, std::int64_t offset, int count);
// A little-endian 32-bit field of the trailer, at its offset inside the last 36 bytes.
std::int32_t TrailerInt32(const std::filesystem::path& file, std::size_t offset);

std::string ReadFile(const std::filesystem::path& path);
// Writes contents to path, making its folders first.
void WriteFile(const std::filesystem::path& path, std::string_view contents);

}  // namespace tomelet::testing
