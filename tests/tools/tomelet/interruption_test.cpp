// SIGINT and SIGTERM in the middle of extract, pack and index: what the command made so far is
// removed, what was there before is as it was, and the tool ends as killed by the signal.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include "tests/support/TestDocument.h"
#include "tool_process.h"

namespace tomelet::testing {
namespace {

namespace fs = std::filesystem;

// Polls until seen holds; false when the tool ended first or nothing showed for seconds.
bool WaitUntil(RunningTool& tool, const std::function<bool()>& seen) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline && !tool.HasEnded()) {
    if (seen()) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return false;
}

std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    names.push_back(fs::relative(item.path(), folder).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool HoldsPartialFile(const fs::path& folder) {
  std::error_code error;
  for (fs::recursive_directory_iterator item(folder, error), end; !error && item != end;
       item.increment(error)) {
    if (item->path().extension() == ".part") {
      return true;
    }
  }
  return false;
}

// Pages with words of their own, enough of them that packing and indexing take a while.
void WritePages(const fs::path& folder, int count) {
  for (int i = 0; i < count; ++i) {
    std::string page = "<html><head><title>Page " + std::to_string(i) + "</title></head><body>";
    for (int word = 0; word < 300; ++word) {
      page += " w" + std::to_string(i * 7 + word * 13);
    }
    WriteFile(folder / ("page" + std::to_string(i) + ".htm"), page + "</body></html>");
  }
}

pid_t EndedProcess() {
  const pid_t child = ::fork();
  if (child == 0) {
    ::_exit(0);
  }
  ::waitpid(child, nullptr, 0);
  return child;
}

TEST(Interruption, ExtractRemovesItsPartialFilesAndFoldersAndKeepsWhatWasThere) {
  TScratchFolder folder;
  const auto document = folder / "many.tlt";
  TTestDocument many;
  for (int i = 0; i < 3000; ++i) {
    many.Entry((i % 2 == 0 ? "page" : "new\\page") + std::to_string(i) + ".htm", kSamplePage);
  }
  many.WriteTo(document);
  const auto target = folder / "out";
  WriteFile(target / "page0.htm", "kept");

  RunningTool extract({"extract", document.string(), "-C", target.string()});
  ASSERT_TRUE(WaitUntil(extract, [&] { return HoldsPartialFile(target); }));
  extract.Signal(SIGINT);
  const auto result = extract.Wait();
  EXPECT_EQ(result.exitCode, 128 + SIGINT) << result.err;
  EXPECT_EQ(Listing(target), std::vector<std::string>{"page0.htm"});
  EXPECT_EQ(ReadFile(target / "page0.htm"), "kept");
}

TEST(Interruption, ExtractRemovesPartialFilesThatAKilledRunLeft) {
  TScratchFolder folder;
  const auto document = folder / "doc.tlt";
  SampleDocument().WriteTo(document);
  const auto target = folder / "out";
  const std::string stale = ".tomelet-" + std::to_string(EndedProcess()) + "-3.part";
  const std::string running = ".tomelet-" + std::to_string(::getpid()) + "-3.part";
  WriteFile(target / stale, "left by a run killed with SIGKILL");
  WriteFile(target / "guide" / stale, "left in a folder written to");
  WriteFile(target / running, "another extraction still at work");
  WriteFile(target / ".tomelet-notes.part", "not of that naming");

  const auto result = RunTool({"extract", document.string(), "-C", target.string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_FALSE(fs::exists(target / stale));
  EXPECT_FALSE(fs::exists(target / "guide" / stale));
  EXPECT_TRUE(fs::exists(target / running));
  EXPECT_TRUE(fs::exists(target / ".tomelet-notes.part"));
  EXPECT_TRUE(fs::exists(target / "guide" / "intro.htm"));
}

class InterruptedIndexing : public ::testing::Test {
 protected:
  InterruptedIndexing() {
    fs::create_directories(scratch_);
    fs::create_directories(out_.parent_path());
    WritePages(folder_ / "src", 1500);
  }

  // Starts the tool with its temporary folder here, and stops it by signal once the folder where
  // it builds the search index is there.
  ToolResult InterruptWhileIndexing(const std::vector<std::string>& args, int signal) {
    RunningTool tool(args, {"TMPDIR=" + scratch_.string()});
    EXPECT_TRUE(WaitUntil(tool, [&] { return !fs::is_empty(scratch_); }));
    tool.Signal(signal);
    return tool.Wait();
  }

  TScratchFolder folder_;
  fs::path scratch_ = folder_ / "tmp";
  fs::path out_ = folder_ / "out" / "doc.tlt";
};

TEST_F(InterruptedIndexing, PackLeavesTheOldDocumentAndNoScratchFolder) {
  WriteFile(out_, "the document before");
  const auto result =
      InterruptWhileIndexing({"pack", (folder_ / "src").string(), "-o", out_.string()}, SIGTERM);
  EXPECT_EQ(result.exitCode, 128 + SIGTERM) << result.err;
  EXPECT_TRUE(fs::is_empty(scratch_)) << Listing(scratch_).front();
  EXPECT_EQ(Listing(out_.parent_path()), std::vector<std::string>{"doc.tlt"});
  EXPECT_EQ(ReadFile(out_), "the document before");
}

TEST_F(InterruptedIndexing, IndexLeavesTheDocumentAsItWasAndNoScratchFolder) {
  const auto packed =
      RunTool({"pack", (folder_ / "src").string(), "-o", out_.string(), "--no-index"});
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  const auto before = ReadFile(out_);
  const auto result = InterruptWhileIndexing({"index", out_.string()}, SIGINT);
  EXPECT_EQ(result.exitCode, 128 + SIGINT) << result.err;
  EXPECT_TRUE(fs::is_empty(scratch_)) << Listing(scratch_).front();
  EXPECT_EQ(Listing(out_.parent_path()), std::vector<std::string>{"doc.tlt"});
  EXPECT_EQ(ReadFile(out_), before);
}

}  // namespace
}  // namespace tomelet::testing
