// What `tomelet pack` stores as the document's map: the contents given with --contents or found
// in the pages, and the keywords of every page, gathered as the pages are packed.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "search/DocumentMapBuilder.h"
#include "tools/tomelet/PackInput.h"

namespace tomelet::cli {

// The builder for the files being packed; startPage as written in the options. Throws
// EDocumentMapError for a contents file that is not valid, and std::runtime_error "Cannot read
// <file>" when it cannot be read; warn receives each link of the given contents to a page the
// files do not hold.
std::unique_ptr<search::TDocumentMapBuilder> MakePackMapBuilder(
    const std::vector<PackFile>& files, const std::string& startPage,
    const std::string& contentsFile, const std::function<void(const std::string&)>& warn);

// The bytes of the "-map-" entry, reading the start page and its table of contents from files.
std::string FinishPackMap(search::TDocumentMapBuilder& builder, const std::vector<PackFile>& files);

}  // namespace tomelet::cli
