// What tells one file apart from another at the same path: the numbers a writer cannot put back.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>

namespace tomelet {

struct TFileIdentity {
  dev_t Device = 0;
  ino_t Inode = 0;
  std::int64_t Size = 0;
  timespec Modified{};
  // Moves whenever the file is written or its times are set back, so a change made in place and
  // disguised with an old modification time still shows.
  timespec StatusChanged{};

  bool operator==(const TFileIdentity& other) const;
};

// A file time as one number, nanoseconds since the epoch.
std::int64_t Nanoseconds(const timespec& time);

// The identity of an open descriptor; nothing when it cannot be asked.
std::optional<TFileIdentity> IdentityOf(int descriptor);
// The identity of the file now at path; nothing when there is none.
std::optional<TFileIdentity> IdentityAt(const std::filesystem::path& path);

}  // namespace tomelet
