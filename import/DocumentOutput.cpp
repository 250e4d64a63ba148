// Writing a finished document in place: through a temporary file and a rename, or to a pipe.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <vector>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "ZLIBArchive2/ZLIBArchiveWriter.h"
#include "document/Document.h"
#include "import/DocumentWriting.h"
#include "platform/cleanup/Leftovers.h"
#include "platform/files/TemporaryFolder.h"

namespace tomelet::importer {
namespace {

mode_t CurrentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// Removes the temporary file unless the document was put in place, also when an interruption
// ends the program first.
class TTemporaryFile {
 public:
  explicit TTemporaryFile(const std::string& beside) : path_(beside + ".XXXXXX") {
    TLeftovers leftovers;
    const int fd = ::mkstemp(path_.data());
    if (fd < 0) {
      throw std::runtime_error("Cannot create " + beside + ": " + std::strerror(errno));
    }
    ::close(fd);
    ticket_ = leftovers.Add(path_, TLeftoverKind::File);
  }
  ~TTemporaryFile() {
    TLeftovers leftovers;
    if (!kept_) {
      std::remove(path_.c_str());
    }
    leftovers.Forget(ticket_);
  }
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;
  const std::string& Path() const { return path_; }
  // Under a hold, so that an interruption finds either the old document or the new one.
  void MoveTo(const std::string& target) {
    CheckOutputTarget(target);
    TLeftovers leftovers;
    if (std::rename(path_.c_str(), target.c_str()) != 0) {
      throw std::runtime_error("Cannot write " + target + ": " + std::strerror(errno));
    }
    kept_ = true;
  }

 private:
  std::string path_;
  std::uint64_t ticket_ = 0;
  bool kept_ = false;
};

// Copies the finished document to standard output, which may be a pipe that cannot seek.
void CopyToStandardOutput(const std::string& path) {
  TFileStream document(path, TFileStream::Mode::Read);
  std::vector<std::byte> block(std::size_t{1} << 20);
  for (;;) {
    const std::size_t count = document.Read(block);
    if (count == 0)
      break;
    std::span<const std::byte> rest(block.data(), count);
    while (!rest.empty()) {
      const ssize_t written = ::write(STDOUT_FILENO, rest.data(), rest.size());
      if (written < 0 && errno == EINTR)
        continue;
      if (written <= 0)
        throw std::runtime_error(std::string("Cannot write to standard output: ") +
                                 std::strerror(errno));
      rest = rest.subspan(static_cast<std::size_t>(written));
    }
  }
}

void WriteToStandardOutput(const TZLBArchiveWriter& writer, const std::string& stub) {
  if (::isatty(STDOUT_FILENO) == 1)
    throw std::runtime_error(
        "Refusing to write a document to a terminal; redirect -o - to a file "
        "or a pipe");
  TTemporaryFile temporary((TemporaryFolderPath() / "tomelet-pack").string());
  writer.WriteFile(temporary.Path(), stub);
  CopyToStandardOutput(temporary.Path());
}

// What precedes the archive in the document's file: a viewer it is appended to, or nothing.
void CopyPrefix(const TDocument& document, TStream& out) {
  const TArchiveSnapshot* archive = document.StoredArchive();
  if (archive == nullptr) {
    throw std::runtime_error(document.FileName().string() +
                             " is not kept in a Tomelet archive file, which this command reads");
  }
  std::vector<std::byte> block(std::size_t{1} << 20);
  const std::int64_t length = archive->ArchiveStart();
  for (std::int64_t done = 0; done < length;) {
    const auto want = static_cast<std::size_t>(
        std::min<std::int64_t>(length - done, static_cast<std::int64_t>(block.size())));
    const std::size_t got = document.ReadAt(done, std::span(block).first(want));
    if (got == 0) {
      throw std::runtime_error("Cannot read " + document.FileName().string());
    }
    out.Write(std::span(block).first(got));
    done += static_cast<std::int64_t>(got);
  }
}

}  // namespace

void CheckOutputTarget(const std::string& out) {
  if (out == kStandardOutput)
    return;
  struct stat status {};
  if (::lstat(out.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
    throw std::runtime_error("Refusing to replace " + out +
                             ": it is not a regular file (use -o - for standard output)");
}

void WriteDocument(const TZLBArchiveWriter& writer, const std::string& out,
                   const std::string& stub) {
  if (out == kStandardOutput) {
    WriteToStandardOutput(writer, stub);
    return;
  }
  CheckOutputTarget(out);
  TTemporaryFile temporary(out);
  writer.WriteFile(temporary.Path(), stub);
  const mode_t mode = stub.empty() ? (0666 & ~CurrentUmask()) : 0755;
  if (::chmod(temporary.Path().c_str(), mode) != 0) {
    throw std::runtime_error("Cannot write " + out + ": " + std::strerror(errno));
  }
  temporary.MoveTo(out);
}

void ReplaceDocument(const TZLBArchiveWriter& writer, const TDocument& document,
                     const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    throw std::runtime_error("Cannot read " + path + ": " + std::strerror(errno));
  }
  TTemporaryFile temporary(path);
  {
    TFileStream out(temporary.Path(), TFileStream::Mode::Create);
    CopyPrefix(document, out);
    writer.WriteTo(out);
  }
  if (::chmod(temporary.Path().c_str(), status.st_mode & 07777) != 0) {
    throw std::runtime_error("Cannot write " + path + ": " + std::strerror(errno));
  }
  temporary.MoveTo(path);
}

}  // namespace tomelet::importer
