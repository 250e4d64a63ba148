#include "platform/files/InstanceSlot.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/files/UserFolders.h"

namespace tomelet {

TInstanceSlot::TInstanceSlot(std::string_view name, int limit) {
  const std::filesystem::path cache = UserFolder(TUserFolder::Cache);
  if (cache.empty())
    return;
  const std::filesystem::path folder = cache / "tomelet" / "slots";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  for (int number = 0; number < limit; ++number) {
    const auto file = folder / (std::string(name) + "-" + std::to_string(number));
    const int descriptor = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
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
