#include "platform/files/InstanceSlot.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/files/TemporaryFolder.h"

namespace tomelet {

namespace {

// The user's runtime folder, where what lasts one session belongs, else one of the user's own in
// the temporary folder.
std::filesystem::path SlotFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime == '/')
    return std::filesystem::path(runtime) / "tomelet";
  return TemporaryFolderPath() / ("tomelet-" + std::to_string(::getuid()));
}

}  // namespace

TInstanceSlot::TInstanceSlot(std::string_view name, int limit) {
  const std::filesystem::path folder = SlotFolder();
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  for (int number = 0; number < limit; ++number) {
    const auto file = folder / (std::string(name) + "-" + std::to_string(number));
    const int descriptor = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0)
      return;
    if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
      number_ = number;
      descriptor_ = descriptor;
      return;
    }
    ::close(descriptor);
  }
}

TInstanceSlot::~TInstanceSlot() {
  if (descriptor_ >= 0)
    ::close(descriptor_);
}

}  // namespace tomelet
