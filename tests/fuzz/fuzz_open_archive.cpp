// Opens arbitrary bytes as an archive and extracts every entry through both inflation paths,
// which must agree on bytes and messages.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ZLIBArchive2/ZLIBArchive2.h"

namespace {

using tomelet::TMemoryStream;
using tomelet::TStream;
using tomelet::TZLBArc2;

const std::string& InputPath() {
  static const std::string path = [] {
    std::string pattern = "/tmp/fuzz-archive-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
      std::abort();
    }
    ::close(fd);
    return pattern;
  }();
  return path;
}

void WriteInput(const std::uint8_t* data, std::size_t size) {
  tomelet::TFileStream file(InputPath(), tomelet::TFileStream::Mode::Create);
  file.Write(std::as_bytes(std::span(data, size)));
}

struct Outcome {
  std::string message;
  std::string bytes;
  bool operator==(const Outcome&) const = default;
};

Outcome Extract(TZLBArc2& arc, int index) {
  Outcome outcome;
  TMemoryStream dest;
  try {
    arc.ExtractEntry(index, dest);
  } catch (const std::exception& error) {
    outcome.message = error.what();
  }
  outcome.bytes = dest.View();
  return outcome;
}

void CheckLookup(TZLBArc2& arc, int index) {
  const std::string path = arc.EntryAt(index).ArchivePath();
  const int found = arc.IndexOfEntry(path);
  if (found < 0 || found > index ||
      tomelet::FoldArchivePath(arc.EntryAt(found).ArchivePath()) !=
          tomelet::FoldArchivePath(path)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WriteInput(data, size);
  TZLBArc2 arc;
  arc.VerifyArchiveCRC = false;
  arc.Password = "pw";
  arc.OnDecryptStream = [](TStream& in, TStream& out, std::uint32_t count, const std::string&) {
    out.CopyFrom(in, std::min<std::int64_t>(count, in.Size() - in.Position()));
  };
  try {
    arc.OpenArchive(InputPath());
  } catch (const std::exception&) {
    return 0;
  }
  for (int i = 0; i < arc.EntryCount(); ++i) {
    CheckLookup(arc, i);
    arc.OnProgress = nullptr;
    const Outcome atOnce = Extract(arc, i);
    arc.OnProgress = [](const std::string&, int percentage) {
      if (percentage < 0 || percentage > 100) {
        std::abort();
      }
    };
    if (Extract(arc, i) != atOnce) {
      std::abort();
    }
  }
  return 0;
}
