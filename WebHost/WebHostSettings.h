// The browser host's stored settings with the values the viewer's browser has. The engine has no
// counterpart for most of them, so they are kept for the caller to read and change nothing else.
#pragma once

#include <string>
#include <vector>

#include "platform/webbrowser/WebBrowser.h"

namespace tomelet {

enum class TPrintOrientationOption { poPortrait, poLandScape };
enum class TUserAgentMode { uaDefault, uaInternal, uaRegistry };

struct TPrintMargins {
  double Left = 19.05;
  double Right = 19.05;
  double Top = 19.05;
  double Bottom = 19.05;
};

struct TPrintOptions {
  bool Enabled = false;
  TPrintMargins Margins;
  std::string Header = "&w&bPage &p of &P";
  std::vector<std::string> HTMLHeader{"<HTML></HTML>"};
  std::string Footer = "&u&b&d";
  TPrintOrientationOption Orientation = TPrintOrientationOption::poPortrait;
};

struct TDisableErrors {
  bool EnableDDE = false;
  bool fpExceptions = false;
  bool ScriptErrorsSuppressed = false;
};

struct TDialogBoxes {
  bool DisableAll = false;
  bool ReplaceCaption = true;
  bool ReplaceIcon = true;
  std::string NewCaption;
};

struct TVisualEffects {
  int TextSize = kMediumTextSize;
  bool DisableSounds = false;
};

struct TProxySettings {
  bool AutoLoadProxy = false;
  int Port = 80;
  std::string Address;
  std::string UserName;
  std::string Password;
  std::string UserAgent;
};

struct TWebHostSettings {
  TPrintOptions PrintOptions;
  TDisableErrors DisableErrors;
  TDialogBoxes DialogBoxes;
  TVisualEffects VisualEffects;
  std::string UserAgent;
  TUserAgentMode UserAgentMode = TUserAgentMode::uaDefault;
  TProxySettings ProxySettings;
  bool EnableMessageHandler = true;
};

}  // namespace tomelet
