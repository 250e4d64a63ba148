// Runs the built tomelet binary and captures what it says, for tests that check exit codes
// and messages exactly as a user sees them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tomelet::testing {

struct ToolResult {
  int exitCode = -1;
  std::string out;
  std::string err;
  // The program's peak resident memory.
  long peakKilobytes = 0;
  std::string LastErrorLine() const;
};

ToolResult RunTool(const std::vector<std::string>& args);
// Runs any program, for checking that a packed viewer stub still starts.
ToolResult RunProgram(const std::string& program, const std::vector<std::string>& args);

// A fresh folder removed with everything in it at the end of the test.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view contents);

}  // namespace tomelet::testing
