// An optional record of what the viewer shows, for tests and measurements: when the environment
// variable TOMELET_TEST_TRACE names a file, every caption ("title"), status text ("status"),
// navigation ("navigate"), completed page ("complete"), message box ("information", "error",
// "warning"), dialog ("password", "open dialog"), shell request ("shell"), the window being shown
// or entering and leaving full screen ("window"), the find bar ("find": shown, closed, or its
// count) and the place of each tool button ("button": caption, x, y, width, height) is
// appended to it as one line "<seconds on the monotonic clock> <kind>: <text>". Without the
// variable nothing is written.
#pragma once

#include <string_view>

namespace tomelet {

void TestTrace(std::string_view kind, std::string_view text);
bool TestTraceEnabled();

}  // namespace tomelet
