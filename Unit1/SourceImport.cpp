#include "Unit1/SourceImport.h"

#include <cstdio>
#include <string>

#include "import/Import.h"
#include "platform/text/Fnv1a.h"
#include "search/DocumentIndex.h"

namespace tomelet {

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
                static_cast<unsigned long long>(Fnv1a(identity)));
  const std::string name =
      (full.filename().empty() ? full.parent_path() : full).filename().string();
  return search::IndexCacheFolder() / "imported" / (name + "-" + digits + ".tlt");
}

}  // namespace tomelet
