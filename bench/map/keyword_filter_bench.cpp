// The keyword filter as a reader uses it: every query typed key by key, one lookup per key
// press, as the viewer's Index pane and `/-/keywords.json` run it. Reports the time to open the
// map (the stored entry, and derived from the pages) and the lookup times (p50, p95, max).
//   keyword_filter_bench DOCUMENT [QUERY...]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "document/Document.h"
#include "search/DocumentMapBuilder.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::vector<std::string> kQueries = {"json.dumps",
                                           "subprocess run",
                                           "asyncio gather",
                                           "os.path.join",
                                           "dict",
                                           "str.format",
                                           "list comprehension",
                                           "re.sub",
                                           "datetime",
                                           "open",
                                           "with statement",
                                           "logging.getLogger",
                                           "pathlib Path",
                                           "typing",
                                           "collections.defaultdict",
                                           "itertools",
                                           "exception",
                                           "class",
                                           "sqlite3",
                                           "argparse",
                                           "vacuum",
                                           "create table",
                                           "select",
                                           "pg_dump",
                                           "index"};

double Milliseconds(Clock::duration elapsed) {
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: keyword_filter_bench DOCUMENT [QUERY...]\n");
    return 2;
  }
  const auto document = tomelet::OpenDocument(argv[1]);
  const tomelet::TDocument& archive = *document;
  const std::string start = archive.StartPagePath();
  auto began = Clock::now();
  const auto map = tomelet::search::OpenDocumentMap(archive, start);
  std::printf("open the map:      %8.1f ms (%zu keywords, %zu contents lines)\n",
              Milliseconds(Clock::now() - began), map->Keywords.Size(),
              tomelet::ContentsSize(map->Contents));
  began = Clock::now();
  const auto derived = tomelet::search::DeriveDocumentMap(archive, start);
  std::printf("derive from pages: %8.1f ms\n", Milliseconds(Clock::now() - began));

  const std::vector<std::string> queries =
      argc > 2 ? std::vector<std::string>(argv + 2, argv + argc) : kQueries;
  std::vector<double> times;
  for (int round = 0; round < 5; ++round) {
    for (const std::string& query : queries) {
      for (std::size_t typed = 1; typed <= query.size(); ++typed) {
        began = Clock::now();
        const auto found = map->Keywords.Lookup(query.substr(0, typed), 50);
        times.push_back(Milliseconds(Clock::now() - began));
      }
    }
  }
  std::sort(times.begin(), times.end());
  const auto at = [&](double share) {
    return times[std::min(times.size() - 1, static_cast<std::size_t>(share * times.size()))];
  };
  std::printf("lookups: %zu key presses, p50 %.3f ms, p95 %.3f ms, max %.3f ms\n", times.size(),
              at(0.5), at(0.95), times.back());
  return 0;
}
