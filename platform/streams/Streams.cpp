#include "platform/streams/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tomelet {

namespace {

constexpr std::int64_t kCopyBlock = 65536;

[[noreturn]] void ThrowSystemError(const std::string& what) {
  throw EStreamError(what + ": " + std::strerror(errno));
}

std::int64_t ResolveSeek(std::int64_t offset, SeekOrigin origin, std::int64_t position,
                         std::int64_t size) {
  std::int64_t base = 0;
  if (origin == SeekOrigin::Current) {
    base = position;
  } else if (origin == SeekOrigin::End) {
    base = size;
  }
  std::int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) {
    throw EStreamError("Invalid stream position");
  }
  return target;
}

int OpenFlags(TFileStream::Mode mode) {
  switch (mode) {
    case TFileStream::Mode::Read:
      return O_RDONLY | O_CLOEXEC;
    case TFileStream::Mode::Create:
      return O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC;
    case TFileStream::Mode::ReadWrite:
      return O_RDWR | O_CLOEXEC;
  }
  return O_RDONLY | O_CLOEXEC;
}

}  // namespace

void TStream::ReadBuffer(std::span<std::byte> buffer) {
  if (Read(buffer) != buffer.size()) {
    throw EReadError();
  }
}

void TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count <= 0) {
    return;
  }
  // A memory destination receives the bytes in place when the source can supply all of them;
  // the size check keeps a lying count from reserving memory the source cannot fill.
  auto* memory = dynamic_cast<TMemoryStream*>(this);
  if (memory != nullptr && source.Size() - source.Position() >= count) {
    const auto start = static_cast<std::size_t>(memory->Position());
    const auto oldSize = static_cast<std::size_t>(memory->Size());
    const std::size_t got = source.Read(memory->WriteSpan(static_cast<std::size_t>(count)));
    if (got != static_cast<std::size_t>(count)) {
      memory->SetSize(std::max(oldSize, start + got));
      memory->SetPosition(static_cast<std::int64_t>(start + got));
      throw EReadError();
    }
    return;
  }
  std::vector<std::byte> block(static_cast<std::size_t>(std::min(count, kCopyBlock)));
  while (count > 0) {
    const auto chunk =
        std::span(block).first(static_cast<std::size_t>(std::min(count, kCopyBlock)));
    source.ReadBuffer(chunk);
    Write(chunk);
    count -= static_cast<std::int64_t>(chunk.size());
  }
}

std::size_t TMemoryStream::Read(std::span<std::byte> buffer) {
  if (position_ >= bytes_.size()) {
    return 0;
  }
  const std::size_t count = std::min(buffer.size(), bytes_.size() - position_);
  std::memcpy(buffer.data(), bytes_.data() + position_, count);
  position_ += count;
  return count;
}

void TMemoryStream::Write(std::span<const std::byte> data) {
  if (data.empty()) {
    return;
  }
  const auto target = WriteSpan(data.size());
  std::memcpy(target.data(), data.data(), data.size());
}

std::span<std::byte> TMemoryStream::WriteSpan(std::size_t count) {
  const std::size_t start = position_;
  if (start + count > bytes_.size()) {
    if (start + count > bytes_.capacity()) {
      bytes_.reserve(std::max(start + count, bytes_.capacity() * 2));
    }
    bytes_.resize(start + count);
  }
  position_ = start + count;
  return std::span(bytes_).subspan(start, count);
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  position_ = static_cast<std::size_t>(
      ResolveSeek(offset, origin, static_cast<std::int64_t>(position_), Size()));
  return static_cast<std::int64_t>(position_);
}

void TMemoryStream::Clear() {
  bytes_.clear();
  position_ = 0;
}

void TMemoryStream::SetSize(std::size_t size) {
  bytes_.resize(size);
  position_ = std::min(position_, size);
}

TFileStream::TFileStream(const std::filesystem::path& path, Mode mode) {
  fd_ = ::open(path.c_str(), OpenFlags(mode), 0666);
  if (fd_ < 0) {
    ThrowSystemError("Cannot open file \"" + path.string() + "\"");
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

std::size_t ReadFullyAt(int fd, std::int64_t offset, std::span<std::byte> buffer) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t got = ::pread(fd, buffer.data() + done, buffer.size() - done,
                                static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      throw EReadError();
    }
    if (got == 0) {
      break;
    }
    done += static_cast<std::size_t>(got);
  }
  return done;
}

std::size_t TFileStream::ReadAt(std::int64_t offset, std::span<std::byte> buffer) const {
  return ReadFullyAt(fd_, offset, buffer);
}

std::size_t TFileStream::Read(std::span<std::byte> buffer) {
  const std::size_t got = ReadAt(position_, buffer);
  position_ += static_cast<std::int64_t>(got);
  return got;
}

void TFileStream::Write(std::span<const std::byte> data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t put =
        ::pwrite(fd_, data.data() + done, data.size() - done, static_cast<off_t>(position_));
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put <= 0) {
      throw EWriteError();
    }
    done += static_cast<std::size_t>(put);
    position_ += put;
  }
}

std::int64_t TFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
  const std::int64_t size = origin == SeekOrigin::End ? Size() : 0;
  position_ = ResolveSeek(offset, origin, position_, size);
  return position_;
}

std::int64_t TFileStream::Size() {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    ThrowSystemError("Cannot query file size");
  }
  return static_cast<std::int64_t>(info.st_size);
}

}  // namespace tomelet
