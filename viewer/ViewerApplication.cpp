#include "viewer/ViewerApplication.h"

#include <gtk/gtk.h>

#include "Unit1/ProgramStart.h"
#include "platform/com/ComServer.h"

namespace tomelet {

bool TViewerApplication::Terminate() {
  if (!TerminationConfirmed(dialogs_, TerminationNeedsConfirmation()))
    return false;
  quitRequested_ = true;
  if (running_)
    gtk_main_quit();
  return true;
}

void TViewerApplication::Run() {
  if (quitRequested_)
    return;
  running_ = true;
  gtk_main();
  running_ = false;
}

}  // namespace tomelet
