// Writes the seed archives of the fuzz corpus into the folder given as the only argument.
#include <string>

#include "ZLIBArchive2/ZLIBArchiveWriter.h"

using tomelet::TArchiveEntry;
using tomelet::TMemoryStream;
using tomelet::TZLBArchiveWriter;

namespace {

void Write(const std::string& folder, const std::string& name, const TZLBArchiveWriter& writer,
           std::string_view prefix = {}) {
  tomelet::TFileStream out(folder + "/" + name, tomelet::TFileStream::Mode::Create);
  out.Write(tomelet::AsBytes(prefix));
  writer.WriteTo(out);
}

std::string Text(std::size_t size) {
  std::string text;
  while (text.size() < size) {
    text += "<p>page " + std::to_string(text.size() % 97) + "</p>\n";
  }
  return text.substr(0, size);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    return 2;
  }
  const std::string folder = argv[1];
  TZLBArchiveWriter v2;
  v2.AddEntry("index.htm", Text(5000));
  v2.AddEntry("images\\logo.gif", "GIF89a", tomelet::fcNone);
  v2.AddEntry("-config-", std::string(64, '\0'));
  Write(folder, "v2-compressed-registry", v2, "MZ\x90");

  TZLBArchiveWriter plain({.Version = 2, .CompressRegistry = false});
  plain.AddEntry("a.txt", Text(300), tomelet::fcMaximum);
  plain.AddEntry("A.TXT", "", tomelet::fcNone);
  Write(folder, "v2-plain-registry", plain);

  TZLBArchiveWriter v1({.Version = 1, .CompressRegistry = true});
  v1.AddEntry("sub\\page.htm", Text(2000), tomelet::fcFastest);
  Write(folder, "v1", v1);

  TZLBArchiveWriter encrypted({.Version = 2, .CompressRegistry = false});
  const std::string secret = Text(700);
  TArchiveEntry entry;
  entry.FileName = "secret.htm";
  entry.OriginalSize = static_cast<std::int64_t>(secret.size());
  entry.DecryptSize = entry.OriginalSize;
  entry.Method = tomelet::kMethodStoredEncrypted;
  encrypted.AddRawEntry(entry, tomelet::AsBytes(secret));
  Write(folder, "encrypted", encrypted);

  Write(folder, "empty", TZLBArchiveWriter());
  return 0;
}
