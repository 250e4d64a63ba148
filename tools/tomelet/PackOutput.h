// The progress of `pack` and `import` on a terminal.
#pragma once

#include <cstddef>
#include <cstdint>

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
  // Ends the bar's line, so that a message written next starts on a line of its own; the bar is
  // drawn again below it on the next Advance.
  void Break();

 private:
  void Draw();

  bool shown_;
  std::size_t files_;
  std::size_t filesDone_ = 0;
  std::uintmax_t bytes_;
  std::uintmax_t bytesDone_ = 0;
  int drawnPercent_ = -1;
};

}  // namespace tomelet::cli
