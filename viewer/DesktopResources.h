// The desktop files of resources/, compiled into the program so that it can install them for
// its user without any data files of its own.
#pragma once

#include <string_view>

namespace tomelet {

extern const std::string_view kDesktopEntryTemplate;
extern const std::string_view kMimePackage;
extern const std::string_view kProgramIcon;
extern const std::string_view kDocumentIcon;

}  // namespace tomelet
