// Decisions the program entry makes around the main window: the start mode chosen by the
// command line, the question asked before ending while objects are in use, and the in-document
// protocol's session as the main window uses it.
#pragma once

#include <span>
#include <string>

#include "OurNSHandler/OurNSHandler.h"
#include "Unit1/MainWindowView.h"

namespace tomelet {

enum class TStartMode { Normal, Automation, RegServer, UnregServer };

// A switch is a whole argument: "-" or "/" followed by its name in any letter case.
TStartMode StartModeFromArguments(std::span<const std::string> arguments);

// Asks the "COM Server Warning" question when objects are still in use; true when ending may
// go on.
bool TerminationConfirmed(IDialogs& dialogs, bool objectsInUse);

class TProtocolSession final : public IProtocolSession {
 public:
  TProtocolSession(TOurNSHandlerModule& module, TZLBArc2& archive)
      : module_(module), archive_(archive) {}

  void Register() override;
  void Unregister() noexcept override;
  void SetUserAgent(std::string_view userAgent) override;

 private:
  TOurNSHandlerModule& module_;
  TZLBArc2& archive_;
  TProtocolRegistration registration_;
};

}  // namespace tomelet
