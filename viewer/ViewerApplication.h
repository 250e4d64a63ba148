// The application object of tomelet-viewer: its message loop and the check it runs before the
// loop may end.
#pragma once

#include "Unit1/MainWindowView.h"
#include "Unit1/window/Dialogs.h"

namespace tomelet {

class TViewerApplication final : public IApplication {
 public:
  bool Terminate() override;
  // Runs the message loop until Terminate lets it end; returns at once when that already
  // happened.
  void Run();

 private:
  TDialogs dialogs_;
  bool quitRequested_ = false;
  bool running_ = false;
};

}  // namespace tomelet
