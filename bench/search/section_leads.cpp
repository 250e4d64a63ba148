// Checks the sections' lead ranges on real pages: the start of each section's text read again
// from its range must give the snippet text that reading the whole page gives, and how long
// reading a range takes. Run build/bench/section_leads FOLDER... (every .html/.htm beneath).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "search/HtmlText.h"
#include "search/IndexFormat.h"
#include "search/SearchIndex.h"
#include "search/Snippet.h"

namespace {

using namespace tomelet::search;

constexpr std::size_t kExamplesShown = 5;

std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

struct TTally {
  std::size_t Pages = 0;
  std::size_t Sections = 0;
  std::size_t WithLead = 0;
  std::size_t Differing = 0;
  std::size_t RangeBytes = 0;
  double Seconds = 0;
};

void CheckPage(const std::filesystem::path& path, TTally& tally) {
  const std::string html = Read(path);
  const TPageText page = ExtractPageText(html);
  ++tally.Pages;
  for (const auto& section : page.Sections) {
    ++tally.Sections;
    if (!section.Lead) {
      continue;
    }
    ++tally.WithLead;
    tally.RangeBytes += section.Lead->End - section.Lead->Start;
    const auto started = std::chrono::steady_clock::now();
    const std::string lead = SectionLead(std::string_view(html).substr(
        section.Lead->Start, section.Lead->End - section.Lead->Start));
    tally.Seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string expected = SnippetText(ShownText(section), format::kStoredTextBytes);
    const std::string found = SnippetText(lead, format::kStoredTextBytes);
    if (expected != found && tally.Differing++ < kExamplesShown) {
      std::cout << path.string() << "#" << section.Anchor << "\n  page:  " << expected
                << "\n  range: " << found << "\n";
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  TTally tally;
  for (int i = 1; i < argc; ++i) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
      if (entry.is_regular_file() && IsHtmlPageName(entry.path().string())) {
        CheckPage(entry.path(), tally);
      }
    }
  }
  std::printf("%zu pages, %zu sections, %zu with a lead range, %zu read differently\n", tally.Pages,
              tally.Sections, tally.WithLead, tally.Differing);
  if (tally.WithLead > 0) {
    std::printf("a range: %.0f bytes and %.1f us on average\n",
                static_cast<double>(tally.RangeBytes) / static_cast<double>(tally.WithLead),
                1e6 * tally.Seconds / static_cast<double>(tally.WithLead));
  }
  return tally.Differing == 0 ? 0 : 1;
}
