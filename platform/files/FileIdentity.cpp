#include "platform/files/FileIdentity.h"

#include <sys/stat.h>

namespace tomelet {
namespace {

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

TFileIdentity IdentityFrom(const struct stat& status) {
  return {status.st_dev, status.st_ino, static_cast<std::int64_t>(status.st_size), status.st_mtim,
          status.st_ctim};
}

}  // namespace

bool TFileIdentity::operator==(const TFileIdentity& other) const {
  return Device == other.Device && Inode == other.Inode && Size == other.Size &&
         SameTime(Modified, other.Modified) && SameTime(StatusChanged, other.StatusChanged);
}

std::int64_t Nanoseconds(const timespec& time) {
  return std::int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec;
}

std::optional<TFileIdentity> IdentityOf(int descriptor) {
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) {
    return std::nullopt;
  }
  return IdentityFrom(status);
}

std::optional<TFileIdentity> IdentityAt(const std::filesystem::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return std::nullopt;
  }
  return IdentityFrom(status);
}

}  // namespace tomelet
