// What a start of the viewer asks of the shelf: "--library [FOLDER...]" opens the shelf window
// over those folders besides the standard ones, "--search QUERY" shows it with QUERY searched.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tomelet::shelf {

struct TShelfRequest {
  bool Shelf = false;  // the shelf window rather than a document's own
  std::vector<std::filesystem::path> Folders;
  std::optional<std::string> Search;
  std::string Mistake;  // what is wrong with the arguments, for the usage message
};

// Arguments without either switch ask for no shelf, and are the document's start as ever.
TShelfRequest ReadShelfRequest(std::span<const std::string> arguments);

}  // namespace tomelet::shelf
