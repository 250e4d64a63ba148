#include "Unit1/TestTrace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace tomelet {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::FILE* TraceFile() {
  static const std::unique_ptr<std::FILE, FileCloser> file = [] {
    const char* path = std::getenv("TOMELET_TEST_TRACE");
    return std::unique_ptr<std::FILE, FileCloser>(path && *path ? std::fopen(path, "a") : nullptr);
  }();
  return file.get();
}

}  // namespace

bool TestTraceEnabled() {
  return TraceFile() != nullptr;
}

void TestTrace(std::string_view kind, std::string_view text) {
  std::FILE* file = TraceFile();
  if (!file)
    return;
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  const double seconds = std::chrono::duration<double>(now).count();
  std::fprintf(file, "%.6f %.*s: %.*s\n", seconds, static_cast<int>(kind.size()), kind.data(),
               static_cast<int>(text.size()), text.data());
  std::fflush(file);
}

}  // namespace tomelet
