// Entry of the tomelet tool: one subcommand per task; every failure ends with exit code 1 and
// the reason as the last line on stderr.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "tools/tomelet/CommandSupport.h"

int main(int argc, char** argv) {
  CLI::App app{"Lists, checks, extracts, packs, serves and searches Tomelet documents.", "tomelet"};
  app.require_subcommand(1);
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
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
