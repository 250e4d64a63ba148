// Waiting for the engine in GUI tests: the main loop pumped against a deadline, and page scripts
// run to their value.
#pragma once

#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tomelet::testing {

using namespace std::chrono_literals;

// Runs the main loop until done() holds or the limit has passed; answers done().
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s);
void PumpFor(std::chrono::milliseconds time);
// Runs start, then the main loop until log holds one more copy of entry than before.
::testing::AssertionResult AwaitLogEntry(const std::vector<std::string>& log,
                                         const std::string& entry,
                                         const std::function<void()>& start);

// The script's value as text, or "error: ..." when it failed. A script that does not finish in
// time is a test failure; it is cancelled, and the process aborts if even that never finishes,
// since the callback writes to the caller's stack.
std::string EvaluateScript(WebKitWebView* view, const std::string& script);
// The value of an async function's body, once its promise has settled.
std::string CallAsyncScript(WebKitWebView* view, const std::string& body);

}  // namespace tomelet::testing
