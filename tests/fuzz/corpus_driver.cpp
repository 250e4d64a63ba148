// Feeds every file of the folders and files named on the command line to a fuzz target's
// function, so each target's corpus runs as a regression test in builds without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void Run(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path argument = argv[i];
    if (!std::filesystem::is_directory(argument)) {
      Run(argument);
      ++count;
      continue;
    }
    for (const auto& item : std::filesystem::directory_iterator(argument)) {
      if (item.is_regular_file()) {
        Run(item.path());
        ++count;
      }
    }
  }
  std::printf("%zu inputs ran\n", count);
  return count > 0 ? 0 : 1;
}
