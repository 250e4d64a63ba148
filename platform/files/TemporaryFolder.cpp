#include "platform/files/TemporaryFolder.h"

#include <cstdlib>
#include <system_error>

namespace tomelet {

std::filesystem::path TemporaryFolderPath() {
  for (const char* variable : {"TMP", "TEMP", "TMPDIR"}) {
    const char* value = std::getenv(variable);
    std::error_code error;
    if (value && *value && std::filesystem::is_directory(value, error))
      return value;
  }
  return "/tmp";
}

}  // namespace tomelet
