// What `tomelet pack` gives the document's map: the contents given with --contents, and the
// folder's pages read back for the contents found in them.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "search/DocumentMapBuilder.h"
#include "tools/tomelet/PackInput.h"

namespace tomelet::cli {

// The contents of contentsFile; nothing when no file is named. Throws EDocumentMapError for a
// contents file that is not valid, and std::runtime_error "Cannot read <file>" when it cannot be
// read; warn receives each link of the given contents to a page the files do not hold.
std::optional<TContents> ReadPackContents(const std::vector<PackFile>& files,
                                          const std::string& contentsFile,
                                          const std::function<void(const std::string&)>& warn);

// Reads pages of the folder by archive path, for the contents found in the pages.
search::TPageReader PackPageReader(const std::vector<PackFile>& files);

}  // namespace tomelet::cli
