#include "shelf/ShelfRequest.h"

#include <algorithm>

namespace tomelet::shelf {
namespace {

constexpr std::string_view kLibrarySwitch = "--library";
constexpr std::string_view kSearchSwitch = "--search";

}  // namespace

TShelfRequest ReadShelfRequest(std::span<const std::string> arguments) {
  TShelfRequest request;
  request.Shelf = std::any_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
    return argument == kLibrarySwitch || argument == kSearchSwitch;
  });
  if (!request.Shelf)
    return request;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == kLibrarySwitch)
      continue;
    if (argument == kSearchSwitch) {
      if (i + 1 == arguments.size()) {
        request.Mistake = "--search needs the words to search";
        return request;
      }
      request.Search = arguments[++i];
    } else if (argument.starts_with("-")) {
      request.Mistake = "unknown switch " + argument;
      return request;
    } else {
      std::error_code error;
      if (!std::filesystem::is_directory(argument, error)) {
        request.Mistake = argument + ": no such folder";
        return request;
      }
      request.Folders.push_back(std::filesystem::absolute(argument));
    }
  }
  return request;
}

}  // namespace tomelet::shelf
