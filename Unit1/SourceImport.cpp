#include "Unit1/SourceImport.h"

#include <cstdio>
#include <string>

#include "import/Import.h"
#include "search/DocumentIndex.h"

namespace tomelet {
namespace {

// FNV-1a: the name only has to change with the source, not resist anyone.
std::uint64_t Fingerprint(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace

bool IsImportableSource(const std::filesystem::path& source) {
  return importer::RecogniseSource(source) != importer::TSourceFormat::Unknown;
}

std::filesystem::path ImportedDocumentPath(const std::filesystem::path& source) {
  std::error_code error;
  const auto full = std::filesystem::weakly_canonical(source, error);
  const auto changed = std::filesystem::last_write_time(source, error).time_since_epoch().count();
  const std::string identity = full.string() + '\n' + std::to_string(importer::SourceSize(source)) +
                               '\n' + std::to_string(changed);
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx",
                static_cast<unsigned long long>(Fingerprint(identity)));
  const std::string name =
      (full.filename().empty() ? full.parent_path() : full).filename().string();
  return search::IndexCacheFolder() / "imported" / (name + "-" + digits + ".tlt");
}

}  // namespace tomelet
