#include "tools/tomelet/PackOutput.h"

#include <unistd.h>

#include <cstdio>

namespace tomelet::cli {
namespace {

constexpr std::size_t kManyFiles = 200;
constexpr std::uintmax_t kManyBytes = 32u << 20;
constexpr int kBarWidth = 40;

}  // namespace

TProgressBar::TProgressBar(std::size_t files, std::uintmax_t bytes)
    : shown_(::isatty(STDERR_FILENO) == 1 && (files >= kManyFiles || bytes >= kManyBytes)),
      files_(files),
      bytes_(bytes) {}

TProgressBar::~TProgressBar() {
  if (shown_ && drawnPercent_ >= 0) {
    std::fputc('\n', stderr);
  }
}

void TProgressBar::Advance(std::uintmax_t bytes) {
  ++filesDone_;
  bytesDone_ += bytes;
  if (shown_) {
    Draw();
  }
}

void TProgressBar::Break() {
  if (shown_ && drawnPercent_ >= 0) {
    std::fputc('\n', stderr);
    drawnPercent_ = -1;
  }
}

void TProgressBar::Draw() {
  const int percent = bytes_ == 0 ? 100 : static_cast<int>(bytesDone_ * 100 / bytes_);
  if (percent == drawnPercent_ && filesDone_ != files_) {
    return;
  }
  drawnPercent_ = percent;
  const int filled = percent * kBarWidth / 100;
  std::fprintf(stderr, "\rPacking [%.*s%.*s] %3d%% %zu/%zu files", filled,
               "########################################", kBarWidth - filled,
               "                                        ", percent, filesDone_, files_);
  std::fflush(stderr);
}

}  // namespace tomelet::cli
