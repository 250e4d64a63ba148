// Where a search across a library spends its time, in process: opening each document's index
// (cold), the whole library search with each query asked once, one ranking-only query and one
// query with 10 snippets in each index, and the whole library search again, over the queries of
// the given files (one query a line, tab-separated columns after it ignored). Reports the median
// and p95 of each, and the processor time a query takes on all threads together, which a busy
// machine changes less than the wall time.
//   library_search_bench QUERIES_FILE... -- DOCUMENT_OR_FOLDER...
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "library/Library.h"
#include "library/LibrarySearch.h"
#include "library/Workers.h"
#include "search/DocumentIndex.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 5;
constexpr std::size_t kShown = 10;

double Milliseconds(Clock::duration elapsed) {
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

std::vector<std::string> ReadQueries(const std::vector<std::string>& files) {
  std::vector<std::string> queries;
  for (const auto& file : files) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
      line = line.substr(0, line.find('\t'));
      if (!line.empty() && !line.starts_with('#')) {
        queries.push_back(line);
      }
    }
  }
  return queries;
}

double ProcessorMilliseconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& time) { return time.tv_sec * 1e3 + time.tv_usec / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void Report(const char* label, std::vector<double> times, double processor) {
  std::sort(times.begin(), times.end());
  std::printf("%-40s p50 %7.2f ms  p95 %7.2f ms  processor %6.2f ms a query (%zu)\n", label,
              times[times.size() / 2], times[times.size() * 95 / 100], processor, times.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  std::vector<std::filesystem::path> shelf;
  bool documents = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--") {
      documents = true;
    } else {
      if (documents) {
        shelf.emplace_back(argv[i]);
      } else {
        files.emplace_back(argv[i]);
      }
    }
  }
  if (files.empty() || shelf.empty()) {
    std::fprintf(stderr, "usage: library_search_bench QUERIES_FILE... -- DOCUMENT_OR_FOLDER...\n");
    return 2;
  }
  const auto queries = ReadQueries(files);
  const tomelet::library::TLibrary library(
      shelf, {.Workers = std::make_shared<tomelet::library::TWorkers>()});
  const auto list = library.Documents();
  std::vector<std::shared_ptr<const tomelet::search::TSearchIndex>> indexes;
  for (const auto& document : *list) {
    const auto began = Clock::now();
    const auto state = document->Index()->OpenedState();
    if (!state.Index) {
      std::fprintf(stderr, "%s: no index (%s)\n", document->Name().c_str(), state.Error.c_str());
      return 1;
    }
    std::printf("open %-30s %8.1f ms (%zu pages)\n", document->Name().c_str(),
                Milliseconds(Clock::now() - began), state.Index->PageCount());
    indexes.push_back(state.Index);
  }
  // Each way of asking runs over every query in turn; the processor time covers every thread.
  const auto measure = [&](const char* label, const auto& ask, int rounds = kRounds) {
    std::vector<double> times;
    const double before = ProcessorMilliseconds();
    for (int round = 0; round < rounds; ++round) {
      for (const auto& query : queries) {
        const auto began = Clock::now();
        ask(query);
        times.push_back(Milliseconds(Clock::now() - began));
      }
    }
    Report(label, times, (ProcessorMilliseconds() - before) / static_cast<double>(times.size()));
  };
  const auto searchLibrary = [&](const std::string& query) {
    tomelet::library::SearchLibrary(*list, {query, {}}, 0, kShown, {}, SIZE_MAX, library.Workers());
  };
  // Each index keeps the blocks of hits it read last: the first time a query is asked, only
  // blocks shared with the queries before it are found there.
  measure("library search, each query the first time", searchLibrary, 1);
  measure("each index, 10 hits ranked only", [&](const std::string& query) {
    for (const auto& index : indexes) {
      index->Rank(query, kShown);
    }
  });
  measure("each index, 10 hits with snippets", [&](const std::string& query) {
    for (const auto& index : indexes) {
      index->Search(query, 0, kShown);
    }
  });
  measure("library search, 10 hits with snippets", searchLibrary);
  return 0;
}
