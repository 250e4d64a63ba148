// Entry of the tomelet tool: one subcommand per task. A failure ends with exit code 1 and the
// reason as the last line on stderr; a command line it cannot understand ends with exit code 2.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/DocumentFile.h"
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

// A command name that is none of the tool's; its text is the whole reason.
class EUnknownCommand : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::vector<std::string> CommandNames(CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
    names.push_back(command->get_name());
  }
  return names;
}

std::size_t EditDistance(std::string_view from, std::string_view to) {
  std::vector<std::size_t> row(to.size() + 1);
  std::iota(row.begin(), row.end(), 0);
  for (std::size_t i = 1; i <= from.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= to.size(); ++j) {
      const std::size_t above = row[j];
      row[j] =
          std::min({row[j] + 1, row[j - 1] + 1, diagonal + (from[i - 1] == to[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[to.size()];
}

// The command meant by a mistyped name: the only one it begins, else one a slip or two away.
std::optional<std::string> NearestCommand(std::string_view typed,
                                          const std::vector<std::string>& names) {
  const auto begun = std::count_if(
      names.begin(), names.end(), [&](const std::string& name) { return name.starts_with(typed); });
  std::optional<std::string> nearest;
  std::size_t best = std::min<std::size_t>(2, typed.size() > 1 ? typed.size() - 1 : 0);
  for (const auto& name : names) {
    if (begun == 1 && name.starts_with(typed)) {
      return name;
    }
    const std::size_t distance = EditDistance(typed, name);
    if (distance <= best && (!nearest || distance < best)) {
      nearest = name;
      best = distance;
    }
  }
  return nearest;
}

[[noreturn]] void RefuseUnknownCommand(CLI::App& app, std::string_view typed) {
  const auto names = CommandNames(app);
  std::string reason = "unknown command \"" + std::string(typed) + "\"";
  if (const auto nearest = NearestCommand(typed, names)) {
    reason += ", did you mean \"" + *nearest + "\"?";
  } else {
    reason += "; the commands are";
    for (const auto& name : names) {
      reason += (name == names.front() ? " " : ", ") + name;
    }
  }
  throw EUnknownCommand(reason);
}

// The first argument names the command; anything else there would be read as a stray operand.
void CheckCommandName(CLI::App& app, int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') {
    return;
  }
  const std::string_view typed = argv[1];
  const auto names = CommandNames(app);
  if (std::find(names.begin(), names.end(), typed) == names.end()) {
    RefuseUnknownCommand(app, typed);
  }
}

void AddHelpCommand(CLI::App& app) {
  auto command = std::make_shared<std::string>();
  auto* help = app.add_subcommand("help", "Show the help of a command, or of the tool");
  help->add_option("COMMAND", *command, "Command to show the help of");
  help->callback([&app, command] {
    if (command->empty()) {
      // app.help() would show the help of the command being run, which is this one.
      std::cout << app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal);
      return;
    }
    CLI::App* shown = nullptr;
    try {
      shown = app.get_subcommand(*command);
    } catch (const CLI::OptionNotFound&) {
      RefuseUnknownCommand(app, *command);
    }
    std::cout << shown->help("tomelet");
  });
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
  tomelet::cli::AddImportCommand(app);
  tomelet::cli::AddServeCommand(app);
  tomelet::cli::AddSearchCommand(app);
  tomelet::cli::AddIndexCommand(app);
  tomelet::cli::AddContentsCommand(app);
  tomelet::cli::AddKeywordsCommand(app);
  AddHelpCommand(app);
  try {
    CheckCommandName(app, argc, argv);
    app.parse(argc, argv);
    if (app.get_subcommands().empty())
      throw CLI::RequiredError(
          "A command (list, cat, verify, info, extract, pack, import, serve, search, index, "
          "contents, keywords)");
  } catch (const EUnknownCommand& e) {
    std::fprintf(stderr, "%s\nRun with --help for more information.\n",
                 tomelet::ShownName(e.what()).c_str());
    return kUsageError;
  } catch (const CLI::ParseError& e) {
    if (app.exit(e) == 0)
      return 0;
    HintAtDoubleDash(argc, argv);
    return kUsageError;
  } catch (const tomelet::EDocumentFileError& e) {
    // Two lines of their own: what the file seems to be, then the reader's message.
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", tomelet::ShownName(e.Seems()).c_str());
    if (!e.ReaderMessage().empty())
      std::fprintf(stderr, "%s\n", tomelet::ShownName(e.ReaderMessage()).c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fflush(stdout);
    // The reason may quote an entry's name: it reaches the terminal with its controls escaped.
    std::fprintf(stderr, "%s\n", tomelet::ShownName(e.what()).c_str());
    return 1;
  }
  return 0;
}
