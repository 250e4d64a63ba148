// Entry of the tomelet tool: one subcommand per task. A failure ends with exit code 1 and the
// reason as the last line on stderr; a command line it cannot understand ends with exit code 2.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string_view>

#include "platform/text/ShownText.h"
#include "tools/tomelet/CommandSupport.h"

namespace {

constexpr int kUsageError = 2;

// An operand that looks like an option (an entry named "-config-") is read as one; say how to
// pass it as a name.
void HintAtDoubleDash(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--")
      return;
    if (argument.size() > 1 && argument.front() == '-' && argument.back() == '-') {
      std::fprintf(stderr, "To name \"%s\", put \"--\" before it, as in: tomelet cat FILE -- %s\n",
                   argv[i], argv[i]);
      return;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Lists, checks, extracts, packs, serves and searches Tomelet documents.", "tomelet"};
  app.set_version_flag("--version", "tomelet " TOMELET_VERSION);
  app.require_subcommand(0, 1);
  tomelet::cli::AddListCommand(app);
  tomelet::cli::AddCatCommand(app);
  tomelet::cli::AddVerifyCommand(app);
  tomelet::cli::AddInfoCommand(app);
  tomelet::cli::AddExtractCommand(app);
  tomelet::cli::AddPackCommand(app);
  tomelet::cli::AddServeCommand(app);
  tomelet::cli::AddSearchCommand(app);
  tomelet::cli::AddIndexCommand(app);
  try {
    app.parse(argc, argv);
    if (app.get_subcommands().empty())
      throw CLI::RequiredError(
          "A command (list, cat, verify, info, extract, pack, serve, search, index)");
  } catch (const CLI::ParseError& e) {
    if (app.exit(e) == 0)
      return 0;
    HintAtDoubleDash(argc, argv);
    return kUsageError;
  } catch (const std::exception& e) {
    std::fflush(stdout);
    // The reason may quote an entry's name: it reaches the terminal with its controls escaped.
    std::fprintf(stderr, "%s\n", tomelet::ShownName(e.what()).c_str());
    return 1;
  }
  return 0;
}
