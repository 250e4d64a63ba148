// Archive reader costs: opening registries of 1k to 1M entries, lookups at those sizes, and
// extracting small and large entries with and without a progress handler.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <string>

#include "ZLIBArchive2/ZLIBArchive2.h"
#include "ZLIBArchive2/ZLIBArchiveWriter.h"

namespace {

using tomelet::TMemoryStream;
using tomelet::TZLBArc2;
using tomelet::TZLBArchiveWriter;

// Archives are built once per run into a private folder that is removed at exit.
class Fixtures {
 public:
  static Fixtures& Get() {
    static Fixtures fixtures;
    return fixtures;
  }
  ~Fixtures() { std::filesystem::remove_all(folder_); }

  static std::string EntryName(std::int64_t i) {
    return "d" + std::to_string(i % 100) + "\\page" + std::to_string(i) + ".htm";
  }
  const std::string& WithEntries(std::int64_t count) {
    auto [it, added] = manyEntries_.try_emplace(count);
    if (added) {
      TZLBArchiveWriter writer;
      for (std::int64_t i = 0; i < count; ++i) {
        writer.AddEntry(EntryName(i), "<p>tiny page</p>", tomelet::fcNone);
      }
      it->second = folder_ + "/entries-" + std::to_string(count) + ".tlt";
      writer.WriteFile(it->second);
    }
    return it->second;
  }
  const std::string& Document() {
    if (document_.empty()) {
      TZLBArchiveWriter writer;
      writer.AddEntry("small.htm", Text(4096, 1));
      writer.AddEntry("large.htm", Text(8 << 20, 2));
      writer.AddEntry("stored.bin", Text(4096, 3), tomelet::fcNone);
      document_ = folder_ + "/document.tlt";
      writer.WriteFile(document_);
    }
    return document_;
  }

 private:
  Fixtures() {
    std::string pattern = std::filesystem::temp_directory_path() / "archive-bench-XXXXXX";
    folder_ = ::mkdtemp(pattern.data());
  }
  // Text with the redundancy of real pages: deflates about 4:1.
  static std::string Text(std::size_t size, unsigned seed) {
    std::string text;
    unsigned state = seed;
    while (text.size() < size) {
      state = state * 1103515245U + 12345U;
      text += "<tr><td>row " + std::to_string(state % 50000) + "</td><td>" +
              std::to_string((state >> 8) % 977) + " items</td></tr>\n";
    }
    text.resize(size);
    return text;
  }

  std::string folder_;
  std::map<std::int64_t, std::string> manyEntries_;
  std::string document_;
};

void BM_OpenArchive(benchmark::State& state) {
  const std::string& path = Fixtures::Get().WithEntries(state.range(0));
  TZLBArc2 arc;
  arc.VerifyArchiveCRC = false;
  for (auto _ : state) {
    arc.OpenArchive(path);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenArchive)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_IndexOfEntry(benchmark::State& state) {
  const std::int64_t count = state.range(0);
  TZLBArc2 arc;
  arc.VerifyArchiveCRC = false;
  arc.OpenArchive(Fixtures::Get().WithEntries(count));
  std::vector<std::string> names;
  for (std::int64_t i = 0; i < 1024; ++i) {
    names.push_back(Fixtures::EntryName((i * 7919) % count));
  }
  names.back() = "missing\\entry.htm";
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(arc.IndexOfEntry(names[next++ & 1023]));
  }
}
BENCHMARK(BM_IndexOfEntry)->Arg(1000)->Arg(100000)->Arg(1000000);

void Extract(benchmark::State& state, const char* name, bool withProgress) {
  TZLBArc2 arc;
  arc.OpenArchive(Fixtures::Get().Document());
  int last = 0;
  if (withProgress) {
    arc.OnProgress = [&last](const std::string&, int percentage) { last = percentage; };
  }
  std::int64_t bytes = 0;
  for (auto _ : state) {
    TMemoryStream dest;
    arc.ExtractToStream(dest, name);
    bytes += dest.Size();
  }
  benchmark::DoNotOptimize(last);
  state.SetBytesProcessed(bytes);
}

BENCHMARK_CAPTURE(Extract, small_4k, "small.htm", false);
BENCHMARK_CAPTURE(Extract, small_4k_progress, "small.htm", true);
BENCHMARK_CAPTURE(Extract, stored_4k, "stored.bin", false);
BENCHMARK_CAPTURE(Extract, large_8m, "large.htm", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Extract, large_8m_progress, "large.htm", true)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
