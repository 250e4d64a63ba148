// The output side of `pack`: progress on a terminal and writing the finished document.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tomelet {
class TDocument;
class TZLBArchiveWriter;
}  // namespace tomelet

namespace tomelet::cli {

// A one-line bar on stderr, shown only when stderr is a terminal and the job is large enough
// to make waiting noticeable.
class TProgressBar {
 public:
  TProgressBar(std::size_t files, std::uintmax_t bytes);
  ~TProgressBar();
  TProgressBar(const TProgressBar&) = delete;
  TProgressBar& operator=(const TProgressBar&) = delete;
  void Advance(std::uintmax_t bytes);

 private:
  void Draw();

  bool shown_;
  std::size_t files_;
  std::size_t filesDone_ = 0;
  std::uintmax_t bytes_;
  std::uintmax_t bytesDone_ = 0;
  int drawnPercent_ = -1;
};

// The output name that stands for standard output.
inline constexpr std::string_view kStandardOutput = "-";

// Throws unless out is standard output, a new name or an existing regular file: a link, a
// device or a folder is never replaced by a document.
void CheckOutputTarget(const std::string& out);

// Writes the document to out through a temporary file beside it, so a failure never leaves a
// half-written document under that name. With a stub, the archive follows a copy of it and the
// result is executable (mode 0755); otherwise the mode is the usual 0666 less the umask.
void WriteDocument(const TZLBArchiveWriter& writer, const std::string& out,
                   const std::string& stub);

// Replaces the document at path, open as document, by what precedes its archive (a viewer it is
// appended to) followed by the writer's archive, through a temporary file and a rename, keeping
// its mode. The prefix is copied from the open document, so the file is not opened again.
void ReplaceDocument(const TZLBArchiveWriter& writer, const TDocument& document,
                     const std::string& path);

}  // namespace tomelet::cli
