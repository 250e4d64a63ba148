// A window with a browser host showing a small document served through the real scheme bridge,
// and the means to wait for the engine with a deadline.
#pragma once

#include <gtest/gtest.h>
#include <gtkmm/window.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "WebHost/WebHost.h"
#include "tests/support/gui/EnginePump.h"
#include "tests/support/gui/ServedDocument.h"

namespace tomelet::testing {

inline constexpr const char* kStartPage = "tome://inpack/index.htm";
inline constexpr const char* kSecondPage = "tome://inpack/second.htm";

class HostFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  WebKitWebView* View() const;
  // Navigates and waits for the document-complete event of that URL.
  ::testing::AssertionResult NavigateAndWait(const std::string& url);
  // The script's value as text, or "error: ..." when it failed.
  std::string Evaluate(const std::string& script);
  // The value of an async function's body, once its promise has settled.
  std::string CallAsync(const std::string& body);

  bool HasEvent(const std::string& event) const;
  std::size_t IndexOf(const std::string& event) const;
  // The Enable value of the latest command-state event for command, if any came.
  std::optional<bool> LastCommandState(int command) const;

  std::filesystem::path folder_;
  std::filesystem::path printFolder_;
  std::unique_ptr<TServedDocument> document_;
  std::unique_ptr<Gtk::Window> window_;
  std::unique_ptr<TWebHost> host_;
  std::vector<std::string> events_;
  std::vector<std::pair<int, bool>> commandStates_;
  std::vector<std::string> opened_;
};

}  // namespace tomelet::testing
