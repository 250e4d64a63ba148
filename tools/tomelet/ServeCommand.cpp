// tomelet serve: the document, or a library of documents, as a web site on a local port, for
// any browser.
#include <spawn.h>
#include <sys/wait.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "document/Document.h"
#include "document/DocumentEntries.h"
#include "library/Library.h"
#include "library/Workers.h"
#include "search/SearchIndex.h"
#include "search/SoundIndexes.h"
#include "serve/DocumentServer.h"
#include "serve/DocumentSite.h"
#include "serve/EntryBodies.h"
#include "serve/LibrarySite.h"
#include "serve/PasswordFileCheck.h"
#include "serve/PasswordPrompt.h"
#include "tools/tomelet/CommandSupport.h"

extern char** environ;

namespace tomelet::cli {

namespace {

constexpr std::string_view kPasswordPrompt =
    "Please provide a password to view content of this file ";

struct ServeArgs {
  std::vector<std::string> paths;
  bool recursive = false;
  bool followLinks = false;
  std::string host = "127.0.0.1";
  std::uint16_t port = 8080;
  bool open = false;
  std::optional<std::string> password;
  std::optional<std::string> passwordFile;
  bool verbose = false;
  unsigned idleTimeout = 60;
  unsigned memoryBudget = serve::kDefaultMemoryBudget >> 20;
  unsigned openDocuments = library::kDefaultOpenDocuments;
  unsigned maxAge = serve::kDefaultMaxAge;
  bool allowRemote = false;
};

// The document's name: its file name without the extension.
std::string DocumentName(const ServeArgs& args) {
  return std::filesystem::path(args.paths.front()).stem().string();
}

std::string GivenPassword(const ServeArgs& args) {
  if (args.passwordFile)
    return serve::PasswordFromFile(*args.passwordFile, DocumentName(args));
  return args.password ? *args.password : serve::PromptPassword(kPasswordPrompt);
}

void CheckPassword(const TProjectOptions& options, const ServeArgs& args) {
  const std::string stored = options.AccessPassword();
  if (stored.empty()) {
    return;
  }
  const std::string given = GivenPassword(args);
  if (!PasswordMatches(given, stored)) {
    throw std::runtime_error("Wrong password");
  }
}

// Hands the address to the desktop's default browser; a missing xdg-open only costs a message.
std::optional<pid_t> OpenInBrowser(const std::string& url) {
  std::string program = "xdg-open";
  std::string argument = url;
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = 0;
  if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) {
    std::fprintf(stderr, "Could not start xdg-open; open %s yourself\n", url.c_str());
    return std::nullopt;
  }
  return pid;
}

void LogRequest(const serve::TRequestRecord& record) {
  std::fprintf(stderr, "%s %s %d %lld\n", record.Method.c_str(), record.Target.c_str(),
               record.Status, static_cast<long long>(record.ContentLength));
}

// HTTP Basic sends the password in clear, so a password document stays on this machine unless
// asked otherwise (with TLS in front). holdsPassword is asked only for an address other machines
// can reach.
void CheckReach(const serve::TDocumentServer& server, const std::function<bool()>& holdsPassword,
                const ServeArgs& args) {
  if (!args.allowRemote && !server.IsLoopback() && holdsPassword()) {
    throw std::runtime_error("Refusing to serve a password document on " +
                             serve::ShownAddress(server.Host(), server.Port()) +
                             ", which other machines can reach: the password would cross the "
                             "network in clear. Give --allow-remote to do it anyway, behind TLS");
  }
}

// holdsPassword tells whether clients must send one, which keeps the server on this machine.
// reload, when given, is what SIGHUP does.
void ServeSite(const serve::TSite& site, const ServeArgs& args, const std::string& served,
               const std::function<bool()>& holdsPassword,
               std::shared_ptr<library::TWorkers> workers = nullptr,
               std::function<void()> reload = {}) {
  serve::TServerSettings settings;
  settings.Workers = std::move(workers);
  settings.Host = args.host;
  settings.Port = args.port;
  settings.IdleTimeout = std::chrono::seconds(args.idleTimeout);
  if (args.verbose) {
    settings.OnRequest = LogRequest;
  }
  serve::TDocumentServer server(site, settings);
  CheckReach(server, holdsPassword, args);
  server.StopOnSignals();
  if (reload) {
    server.ReloadOnHangUp(std::move(reload));
  }
  server.Start();
  const std::string url = "http://" + serve::ShownAddress(server.Host(), server.Port()) + "/";
  std::printf("Serving %s at %s (Ctrl+C stops)\n", served.c_str(), url.c_str());
  std::fflush(stdout);
  const auto browser = args.open ? OpenInBrowser(url) : std::nullopt;
  server.Wait();
  if (browser) {
    ::waitpid(*browser, nullptr, WNOHANG);
  }
  // A service manager or a script restarting replicas must know that clients were cut off.
  if (const std::size_t cut = server.CutShort(); cut > 0) {
    throw std::runtime_error("Stopped after " + std::to_string(serve::kDrainGrace.count()) +
                             " s with " + std::to_string(cut) + (cut == 1 ? " reply" : " replies") +
                             " unfinished");
  }
}

void ServeDocument(const ServeArgs& args) {
  const std::string& file = args.paths.front();
  const auto archive = OpenDocument(file);
  const TProjectOptions& options = archive->Options();
  CheckPassword(options, args);
  const serve::TDocumentSite site(
      archive, options.StartPageOption(), std::size_t{args.memoryBudget} << 20,
      {.MaxAge = args.maxAge, .Password = options.AccessPassword(), .Realm = DocumentName(args)});
  ServeSite(site, args, file, [&options] { return !options.AccessPassword().empty(); });
}

// Whether the library holds a password document, or may come to: one added to a served folder
// later is served when the password file, read once at start, names it. Without the file, the
// documents now in the library are looked at, which opens each of them.
bool MayHoldPasswordDocument(const library::TLibrary& library, const ServeArgs& args) {
  if (args.passwordFile) {
    return true;
  }
  const auto documents = library.Documents();
  return std::any_of(documents->begin(), documents->end(),
                     [](const auto& document) { return document->Facts().Protected; });
}

// The problems of the password file's lines not told yet, each told once on stderr; at start,
// lines that can never open their document stop the server instead.
class TPasswordLinesReport {
 public:
  explicit TPasswordLinesReport(const ServeArgs& args) {
    if (args.passwordFile) {
      path_ = *args.passwordFile;
      lines_ = serve::PasswordFileLines(path_);
    }
  }
  const std::vector<serve::TPasswordLine>& Lines() const { return lines_; }

  void AtStart(const library::TLibrary& library) {
    std::string fatal;
    for (const auto& problem : serve::CheckPasswordLines(lines_, library, path_)) {
      fatal += problem.Fatal ? problem.Message + "\n" : "";
    }
    if (!fatal.empty()) {
      fatal.pop_back();
      throw std::runtime_error(fatal);
    }
    AfterReload(library);
  }
  void AfterReload(const library::TLibrary& library) {
    const std::lock_guard guard(lock_);
    for (const auto& problem : serve::CheckPasswordLines(lines_, library, path_)) {
      if (told_.insert(problem.Message).second) {
        std::fprintf(stderr, "%s\n", problem.Message.c_str());
      }
    }
  }

 private:
  std::string path_;
  std::vector<serve::TPasswordLine> lines_;
  std::mutex lock_;
  std::set<std::string> told_;
};

// A folder of web pages is not served as it stands: packed, its pages are checked once, searched
// and served from one file that cannot change under a reader, which loose files could.
void RefuseFolderOfPages(const ServeArgs& args) {
  for (const auto& path : args.paths) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(path, ec), end; !ec && it != end;
         it.increment(ec)) {
      if (search::IsHtmlPageName(it->path().filename().string())) {
        throw std::runtime_error(
            path + " holds web pages, not documents: pack it into one first (tomelet pack " + path +
            " -o site.tlt), then serve site.tlt");
      }
    }
  }
}

// Documents are opened when first asked for; a password for one comes from the password file's
// line "NAME:password", since no prompt could tell which document it asks for. Each client
// then gives it with HTTP Basic, as to a document served alone.
void ServeLibrary(const ServeArgs& args) {
  if (args.password) {
    throw std::runtime_error(
        "--password is for one document; give a library's passwords with --password-file, one "
        "line NAME:password per document");
  }
  TPasswordLinesReport passwordLines(args);
  // One set of threads for the slow requests and the documents of each search across them.
  const auto workers = std::make_shared<library::TWorkers>();
  library::TLibrary library({args.paths.begin(), args.paths.end()},
                            {.Recursive = args.recursive,
                             .FollowLinks = args.followLinks,
                             .OpenLimit = args.openDocuments,
                             .Workers = workers});
  passwordLines.AtStart(library);
  library.Watch([&] { passwordLines.AfterReload(library); });
  serve::TLibraryRules rules{.MaxAge = args.maxAge,
                             .Passwords = serve::NamedPasswords(passwordLines.Lines())};
  const serve::TLibrarySite site(
      library, std::move(rules),
      std::make_shared<serve::TEntryCache>(std::size_t{args.memoryBudget} << 20));
  // Counted apart: a list held for the whole run would keep every document in it open, even
  // once its file is removed.
  const std::size_t count = library.Documents()->size();
  if (count == 0) {
    RefuseFolderOfPages(args);
  }
  ServeSite(
      site, args,
      "a library of " + std::to_string(count) + (count == 1 ? " document" : " documents"),
      [&] { return MayHoldPasswordDocument(library, args); }, workers,
      [&library] { library.ReloadSoon(); });
}

void RunServe(const ServeArgs& args) {
  search::PrepareStructureChecks();
  std::error_code ec;
  if (args.paths.size() == 1 && !std::filesystem::is_directory(args.paths.front(), ec)) {
    ServeDocument(args);
  } else {
    ServeLibrary(args);
  }
}

}  // namespace

void AddServeCommand(CLI::App& app) {
  auto args = std::make_shared<ServeArgs>();
  auto* command =
      app.add_subcommand("serve", "Serve a document, or a library of them, to web browsers");
  command
      ->add_option("PATH", args->paths,
                   "Document (.tlt or a viewer carrying one), or a folder of documents; several "
                   "make a library")
      ->required();
  command->add_flag("--recursive", args->recursive, "Take documents in subfolders of a folder too");
  command->add_flag("--follow-links", args->followLinks,
                    "Take what symbolic links lead to outside the served folders too");
  command->add_option("--host", args->host, "Address to listen on")->capture_default_str();
  command->add_option("--port", args->port, "Port to listen on, 0 for any free one")
      ->capture_default_str();
  command->add_flag("--open", args->open, "Open the start page in the default browser");
  auto* password = command->add_option(
      "--password", args->password,
      "Password of a protected document (asked for when missing); other users can see it");
  command
      ->add_option("--password-file", args->passwordFile,
                   "File of passwords: a line NAME:password per protected document (NAME "
                   "the document's NAME in a library, else the file name without extension); "
                   "one document alone may take the first line whole")
      ->excludes(password);
  command->add_flag("--allow-remote", args->allowRemote,
                    "Serve a protected document on an address other machines can reach; its "
                    "password travels in clear unless TLS is in front");
  command
      ->add_option("--max-age", args->maxAge,
                   "Seconds browsers and caches may keep a page before asking again")
      ->check(CLI::Range(0u, 31536000u))
      ->capture_default_str();
  command->add_flag("--verbose", args->verbose, "Log one line per request on stderr");
  command
      ->add_option("--idle-timeout", args->idleTimeout,
                   "Seconds a client may take to send a request, or pause while reading a reply")
      ->check(CLI::Range(1u, 86400u))
      ->capture_default_str();
  command
      ->add_option("--memory-budget", args->memoryBudget,
                   "MiB of entry contents held whole for replies in flight and the cache, for "
                   "the whole server; beyond it entries are streamed in pieces")
      ->check(CLI::Range(0u, 1u << 20))
      ->capture_default_str();
  command
      ->add_option("--open-documents", args->openDocuments,
                   "Documents of a library kept open at once, with their search indexes; the "
                   "least recently used beyond it are closed")
      ->check(CLI::Range(1u, 1u << 20))
      ->capture_default_str();
  command->callback([args] { RunServe(*args); });
}

}  // namespace tomelet::cli
