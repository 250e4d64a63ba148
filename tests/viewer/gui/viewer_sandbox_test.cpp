// A stranger's document runs its scripts in a confined web process: the page cannot read a file of
// the reader's home folder, by script or by the process's own view of the disk.
#include "viewer_process.h"

namespace tomelet::gui {
namespace {

// The pids of the engine's web processes below the viewer: those whose command is the engine's
// web process and whose ancestors include the viewer.
std::vector<pid_t> WebProcessesOf(pid_t viewer) {
  const auto parentOf = [](pid_t pid) -> pid_t {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto end = line.rfind(')');
    if (end == std::string::npos)
      return 0;
    std::istringstream rest(line.substr(end + 2));
    char state = 0;
    pid_t parent = 0;
    rest >> state >> parent;
    return parent;
  };
  std::vector<pid_t> found;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const pid_t pid = std::atoi(entry.path().filename().c_str());
    if (pid <= 0)
      continue;
    std::ifstream command(entry.path() / "cmdline");
    std::string program;
    std::getline(command, program, '\0');
    if (!program.ends_with("WebKitWebProcess"))
      continue;
    for (pid_t up = parentOf(pid); up > 1; up = parentOf(up)) {
      if (up == viewer) {
        found.push_back(pid);
        break;
      }
    }
  }
  return found;
}

class ViewerSandboxTest : public ViewerTest {};

TEST_F(ViewerSandboxTest, APageCannotReadTheReadersFiles) {
  const auto home = folder_ / "home";
  std::filesystem::create_directories(home / "Documents");
  const auto secret = home / "Documents" / "secret.txt";
  std::ofstream(secret) << "the reader's own words";
  environment_["HOME"] = home.string();
  const std::string page =
      "<title>Trying</title><script>"
      "fetch('file://" +
      secret.string() +
      "').then(r => r.text())"
      "  .then(t => document.title = 'read: ' + t, () => document.title = 'refused');"
      "</script>";
  Start({Document("stranger.tlt", OpenOptions(), {{"index.htm", page}})});

  ASSERT_FALSE(WaitForWindow("refused").empty()) << Trace();
  const auto processes = WebProcessesOf(pid_);
  ASSERT_FALSE(processes.empty()) << "no web process below the viewer";
  for (const pid_t process : processes) {
    const auto seen = "/proc/" + std::to_string(process) + "/root" + secret.string();
    EXPECT_FALSE(std::filesystem::exists(seen)) << seen;
  }
  EXPECT_TRUE(std::filesystem::exists(secret));
}

}  // namespace
}  // namespace tomelet::gui
