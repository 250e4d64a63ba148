// Byte streams shared by the archive reader, the protocol handler and the tools: an abstract
// stream with a position, a growable memory stream and a file stream with 64-bit positions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace tomelet {

// Failures of the stream layer itself; the archive code keeps their texts.
class EStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EReadError : public EStreamError {
 public:
  EReadError() : EStreamError("Stream read error") {}
};
class EWriteError : public EStreamError {
 public:
  EWriteError() : EStreamError("Stream write error") {}
};

enum class SeekOrigin { Begin, Current, End };

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads up to buffer.size() bytes at the position; fewer only at the end of the data.
  virtual std::size_t Read(std::span<std::byte> buffer) = 0;
  // Writes all of data at the position or throws EWriteError.
  virtual void Write(std::span<const std::byte> data) = 0;
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
  virtual std::int64_t Size() = 0;

  std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
  void SetPosition(std::int64_t position) { Seek(position, SeekOrigin::Begin); }
  // Reads exactly buffer.size() bytes or throws EReadError.
  void ReadBuffer(std::span<std::byte> buffer);
  // Copies count bytes from source at its position into this stream at ours.
  void CopyFrom(TStream& source, std::int64_t count);
};

class TMemoryStream final : public TStream {
 public:
  std::size_t Read(std::span<std::byte> buffer) override;
  void Write(std::span<const std::byte> data) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }

  void Clear();
  // Cuts or zero-extends the contents to size bytes; the position stays inside them.
  void SetSize(std::size_t size);
  void Reserve(std::size_t capacity) { bytes_.reserve(capacity); }
  // Extends the stream by count bytes at the position and returns them for the caller to fill
  // in place (so inflation writes straight into the stream); the position moves past them.
  std::span<std::byte> WriteSpan(std::size_t count);
  std::span<const std::byte> Bytes() const { return bytes_; }
  std::string_view View() const {
    return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()};
  }

 private:
  std::vector<std::byte> bytes_;
  std::size_t position_ = 0;
};

// A file opened by descriptor. Reads and writes go through pread/pwrite at the stream's own
// position, so two streams over one file never disturb each other.
class TFileStream final : public TStream {
 public:
  enum class Mode { Read, Create, ReadWrite };
  // Throws EStreamError with the system's text when the file cannot be opened.
  TFileStream(const std::filesystem::path& path, Mode mode);
  // Takes over an open descriptor, which the stream then closes.
  explicit TFileStream(int adoptedDescriptor) : fd_(adoptedDescriptor) {}
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::size_t Read(std::span<std::byte> buffer) override;
  void Write(std::span<const std::byte> data) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override;

  // Reads up to buffer.size() bytes at an absolute offset without moving the position.
  std::size_t ReadAt(std::int64_t offset, std::span<std::byte> buffer) const;
  int Descriptor() const { return fd_; }

 private:
  int fd_ = -1;
  std::int64_t position_ = 0;
};

// Reads up to buffer.size() bytes of descriptor fd at an absolute offset, retrying short and
// interrupted reads; fewer bytes only at the end of the file. Throws EReadError.
std::size_t ReadFullyAt(int fd, std::int64_t offset, std::span<std::byte> buffer);

inline std::span<const std::byte> AsBytes(std::string_view text) {
  return std::as_bytes(std::span(text.data(), text.size()));
}

}  // namespace tomelet
