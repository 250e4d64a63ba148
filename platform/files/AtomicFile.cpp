#include "platform/files/AtomicFile.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
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

std::optional<std::string> ReadSmallFile(const std::filesystem::path& path, std::uintmax_t limit) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error || size > limit) {
    return std::nullopt;
  }
  std::ifstream input(path, std::ios::binary);
  std::ostringstream text;
  text << input.rdbuf();
  if (!input) {
    return std::nullopt;
  }
  return std::move(text).str();
}

}  // namespace tomelet
