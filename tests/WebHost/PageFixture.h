// A window with a text field and a browser host showing a small document served by the real
// protocol handler, a URL security manager handed out as the viewer hands it out, and real
// pointer and keyboard input through xdotool.
#pragma once

#include <gtest/gtest.h>
#include <gtkmm/box.h>
#include <gtkmm/entry.h>
#include <gtkmm/window.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "SecurityManager/SecurityManager.h"
#include "WebHost/WebHost.h"
#include "tests/support/gui/EnginePump.h"
#include "tests/support/gui/ServedDocument.h"

namespace tomelet::testing {

inline constexpr const char* kWindowTitle = "Policy Test Window";

class PageFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  WebKitWebView* View() const;
  ::testing::AssertionResult NavigateAndWait(const std::string& url);
  std::string Evaluate(const std::string& script);

  // Real input at a point of the page (CSS pixels of the view).
  void ClickAt(int x, int y, int button);
  void PressKeys(const std::string& keys);
  // The centre of the element with this id, in the view's coordinates.
  std::pair<int, int> CentreOf(const std::string& id);

  TSecurityManager securityManager_;
  std::unique_ptr<Gtk::Window> window_;
  Gtk::Box layout_{Gtk::ORIENTATION_VERTICAL};
  Gtk::Entry textField_;
  std::unique_ptr<TWebHost> host_;
  int popupMenus_ = 0;
  std::vector<std::string> completed_;

 private:
  std::string XWindow() const;

  std::filesystem::path folder_;
  std::unique_ptr<TServedDocument> document_;
};

// The pages every test can reach below "tome://inpack/".
TTestDocument PolicyPages();

}  // namespace tomelet::testing
