#include "Unit1/ProgramStart.h"

#include <algorithm>
#include <stdexcept>

#include "platform/com/ComServer.h"
#include "platform/text/AsciiCase.h"

namespace tomelet {
namespace {

bool IsSwitch(const std::string& argument, std::string_view name) {
  if (argument.size() != name.size() + 1 || (argument[0] != '-' && argument[0] != '/'))
    return false;
  return EqualsFoldedAscii(std::string_view(argument).substr(1), name);
}

bool HasSwitch(std::span<const std::string> arguments, std::string_view name) {
  return std::any_of(arguments.begin(), arguments.end(),
                     [&](const std::string& argument) { return IsSwitch(argument, name); });
}

}  // namespace

TStartMode StartModeFromArguments(std::span<const std::string> arguments) {
  if (HasSwitch(arguments, "AUTOMATION") || HasSwitch(arguments, "EMBEDDING"))
    return TStartMode::Automation;
  if (HasSwitch(arguments, "REGSERVER"))
    return TStartMode::RegServer;
  if (HasSwitch(arguments, "UNREGSERVER"))
    return TStartMode::UnregServer;
  return TStartMode::Normal;
}

bool TerminationConfirmed(IDialogs& dialogs, bool objectsInUse) {
  if (!objectsInUse)
    return true;
  return dialogs.ConfirmWarning(std::string(kComServerWarningCaption),
                                std::string(kComServerWarningText));
}

void TProtocolSession::Register() {
  if (FAILED(registration_.Register(module_, archive_)))
    throw std::runtime_error("the protocol could not be registered");
}

void TProtocolSession::Unregister() noexcept {
  registration_.Unregister();
}

void TProtocolSession::SetUserAgent(std::string_view userAgent) {
  UrlMkSetSessionOption(URLMON_OPTION_USERAGENT, userAgent.data(),
                        static_cast<DWORD>(userAgent.size()), 0);
}

}  // namespace tomelet
