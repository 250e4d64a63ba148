// Writes the hostile documents that bench/hostile/run measures the tools against, into the
// folder given as the only argument:
//   claim.tlt      its start page's 10 MB stream claims a thousand times its size
//   registry.tlt   a 10 MB compressed registry claiming about 20 million entries
//   limits.tlt     a registry at the reader's limits: a million entries, 128 MiB of names
#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ZLIBArchive2/ArchiveFormat.h"
#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/DocumentEntries.h"
#include "document/ProjectOptions.h"

namespace {

using tomelet::TArchiveEntry;

void WriteClaim(const std::string& folder) {
  std::mt19937 random(1);
  std::vector<unsigned char> noise(10 << 20);
  for (auto& byte : noise) {
    byte = static_cast<unsigned char>(random());
  }
  uLongf length = compressBound(static_cast<uLong>(noise.size()));
  std::vector<std::byte> stream(length);
  compress2(reinterpret_cast<Bytef*>(stream.data()), &length, noise.data(), noise.size(), 1);
  stream.resize(length);
  TArchiveEntry entry;
  entry.FileName = "index.htm";
  entry.CompressedSize = static_cast<std::int64_t>(length);
  entry.OriginalSize = entry.CompressedSize * 1000;
  tomelet::TZLBArchiveWriter writer;
  writer.AddRawEntry(entry, stream);
  tomelet::TProjectOptions options;
  options.SetShortStringAt(tomelet::option_offset::StartPage, "index.htm");
  writer.AddEntry(tomelet::kConfigEntry, options.Bytes());
  writer.WriteFile(folder + "/claim.tlt");
}

// Streams count records, each made by record(i), through one deflate stream into out.
template <typename MakeRecord>
std::uint32_t WriteRegistry(std::FILE* out, std::int64_t count, MakeRecord record) {
  z_stream z{};
  deflateInit(&z, Z_BEST_COMPRESSION);
  std::array<std::byte, tomelet::kEntryRecordSizeV2> bytes{};
  std::vector<unsigned char> buffer(1 << 20);
  std::uint32_t written = 0;
  for (std::int64_t i = 0; i <= count; ++i) {
    const bool last = i == count;
    if (!last) {
      tomelet::format::EncodeRecord(record(i), 2, bytes);
    }
    z.next_in = reinterpret_cast<Bytef*>(bytes.data());
    z.avail_in = last ? 0 : static_cast<uInt>(bytes.size());
    do {
      z.next_out = buffer.data();
      z.avail_out = static_cast<uInt>(buffer.size());
      deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
      const std::size_t produced = buffer.size() - z.avail_out;
      std::fwrite(buffer.data(), 1, produced, out);
      written += static_cast<std::uint32_t>(produced);
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  return written;
}

template <typename MakeRecord>
void WriteRegistryDocument(const std::string& file, std::int64_t count, MakeRecord record) {
  std::FILE* out = std::fopen(file.c_str(), "wb");
  const std::uint32_t size = WriteRegistry(out, count, record);
  tomelet::TArchiveTrailer trailer;
  trailer.EntryCount = static_cast<std::int32_t>(count);
  trailer.Version = 2;
  trailer.RegistrySize = static_cast<std::int32_t>(size);
  trailer.RegistryCompressed = 1;
  std::array<std::byte, tomelet::kTrailerSize> bytes{};
  tomelet::format::EncodeTrailer(trailer, bytes);
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  WriteClaim(folder);
  TArchiveEntry tiny;
  tiny.FileName = "e.htm";
  tiny.Method = tomelet::kMethodStored;
  WriteRegistryDocument(folder + "/registry.tlt", 19'700'000,
                        [&](std::int64_t) -> const TArchiveEntry& { return tiny; });
  TArchiveEntry named;
  named.Method = tomelet::kMethodStored;
  named.Path = std::string(120, 'f') + "\\";
  WriteRegistryDocument(folder + "/limits.tlt", 1'000'000,
                        [&](std::int64_t i) -> const TArchiveEntry& {
                          named.FileName = std::to_string(1'000'000 + i) + ".htm";
                          return named;
                        });
  return 0;
}
