#include "platform/files/AtomicFile.h"

#include <unistd.h>

#include <fstream>
#include <string>
#include <system_error>

namespace tomelet {

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view text) {
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  auto temporary = path;
  temporary += ".new-" + std::to_string(::getpid());
  {
    std::ofstream output(temporary, std::ios::binary | std::ios::trunc);
    output.write(text.data(), static_cast<std::streamsize>(text.size()));
    output.flush();
    if (!output) {
      std::filesystem::remove(temporary, error);
      return false;
    }
  }
  std::filesystem::rename(temporary, path, error);
  if (!error)
    return true;
  std::filesystem::remove(temporary, error);
  return false;
}

}  // namespace tomelet
