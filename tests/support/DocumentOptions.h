// Options records for test documents.
#pragma once

#include <string>

#include "document/ProjectOptions.h"

namespace tomelet {

// A record that shows every bar and allows every command, in a sizeable centred window.
inline TProjectOptions AllEnabledOptions(const std::string& startPage, int width, int height) {
  TProjectOptions options;
  options.SetShortStringAt(option_offset::StartPage, startPage);
  options.SetIntegerAt(option_offset::WindowBorder, 2);
  options.SetIntegerAt(option_offset::WindowWidth, width);
  options.SetIntegerAt(option_offset::WindowHeight, height);
  for (auto offset :
       {option_offset::CenterWindow, option_offset::ShowToolBar, option_offset::ShowButtonCaptions,
        option_offset::ShowStatusBar, option_offset::AllowCopy, option_offset::AllowFind,
        option_offset::AllowPrint, option_offset::AllowFontSize})
    options.SetBooleanAt(offset, true);
  return options;
}

// The record as the bytes of a "-config-" entry.
inline std::string RecordBytes(const TProjectOptions& options) {
  const auto bytes = options.Bytes();
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace tomelet
