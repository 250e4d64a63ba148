#include "viewer/ViewerApplication.h"

#include <gtk/gtk.h>

#include "Unit1/ProgramStart.h"
#include "WebHost/ReplyStream.h"
#include "platform/com/ComServer.h"

namespace tomelet {

// Replies the engine is still reading hold handler objects of this program; they end with it
// and are not the outside clients the warning is about.
bool TViewerApplication::Terminate() {
  EndOpenReplies();
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
