#include <algorithm>

#include "Unit1/Form1Logic.h"

namespace tomelet {

TEscapeAction EscapeAction(bool pageEditing, bool findBarOpen, bool searchMarksShown,
                           bool fullScreen) {
  if (pageEditing)
    return TEscapeAction::ToPage;
  if (findBarOpen)
    return TEscapeAction::CloseFindBar;
  if (searchMarksShown)
    return TEscapeAction::ClearSearchMarks;
  if (fullScreen)
    return TEscapeAction::LeaveFullScreen;
  return TEscapeAction::Exit;
}

void TForm1Logic::ConnectBrowserEvents() {
  auto& events = webBrowser_.Events;
  events.OnBeforeNavigate2 = [this](std::string& url, TNavigationCause cause, bool& cancel) {
    Guarded([&] { WebBrowser1BeforeNavigate2(url, cause, cancel); });
  };
  events.OnNavigateError = [this](const std::string& url, int statusCode, bool& cancel) {
    Guarded([&] { WebBrowser1NavigateError(url, statusCode, cancel); });
  };
  events.OnDocumentComplete = [this](const std::string& url) { WebBrowser1DocumentComplete(url); };
  events.OnTitleChange = [this](const std::string& text) {
    Guarded([&] { WebBrowser1TitleChange(text); });
  };
  events.OnStatusTextChange = [this](const std::string& text) {
    Guarded([&] { WebBrowser1StatusTextChange(text); });
  };
  events.OnCommandStateChange = [this](int command, bool enable) {
    Guarded([&] { WebBrowser1CommandStateChange(command, enable); });
  };
  events.OnWindowClosing = [this](bool isChildWindow, bool& cancel) {
    Guarded([&] { WebBrowser1WindowClosing(isChildWindow, cancel); });
  };
  events.OnQueryService = [this](const GUID& rsid, const GUID& iid, ComPtr<IUnknown>& obj) {
    Guarded([&] { WebBrowser1QueryService(rsid, iid, obj); });
  };
}

void TForm1Logic::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& failure) {
    dialogs_.ShowError(failure.what());
  }
}

void TForm1Logic::ButtonBackClick() {
  webBrowser_.GoBack();
}

void TForm1Logic::ButtonForwardClick() {
  webBrowser_.GoForward();
}

void TForm1Logic::ButtonHomeClick() {
  webBrowser_.Navigate(tomelet::StartUrl(projectOptions_.StartPageOption()));
}

void TForm1Logic::ButtonSearchClick() {
  if (webBrowser_.Document() == nullptr)
    return;
  try {
    if (auto* document = webBrowser_.Document()) {
      const GUID group = CGID_WebBrowser;
      document->Exec(&group, kFindDialogCommand, OLECMDEXECOPT_DODEFAULT, std::nullopt);
    }
  } catch (const std::exception&) {
    // The find dialog is a convenience; a document that cannot offer it is left alone.
  }
}

void TForm1Logic::ButtonDocumentSearchClick() {
  if (!documentSearch_)
    return;
  documentSearch_->Prepare();
  view_.ShowSearchBar();
}

void TForm1Logic::ButtonPrintClick() {
  webBrowser_.ExecWB(OLECMDID_PRINTPREVIEW, OLECMDEXECOPT_DONTPROMPTUSER);
}

void TForm1Logic::Largest1Click(int textSize) {
  view_.CheckTextSize(textSize);
  textSize_ = textSize;
  webBrowser_.ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, textSize);
}

void TForm1Logic::CopytoClipboard1Click() {
  if (!projectOptions_.AllowCopy())
    return;
  try {
    webBrowser_.ExecWB(OLECMDID_COPY, OLECMDEXECOPT_PROMPTUSER);
  } catch (const std::exception&) {
    // Nothing selected or nothing copyable: the clipboard simply keeps what it had.
  }
}

void TForm1Logic::PopupMenu2Popup() {
  view_.SetEnabled(TFormControl::CopytoClipboard1, true);
}

void TForm1Logic::Exit1Click() {
  view_.Close();
}

bool TForm1Logic::ShortcutAllowed(TShortcut shortcut) const {
  switch (shortcut) {
    case TShortcut::Find:
      return projectOptions_.AllowFind();
    case TShortcut::Search:
      return documentSearch_ != nullptr;
    case TShortcut::SidePane:
      return documentMap_ != nullptr;
    case TShortcut::Print:
      return projectOptions_.AllowPrint();
    case TShortcut::TextLarger:
    case TShortcut::TextSmaller:
    case TShortcut::TextMedium:
      return projectOptions_.AllowFontSize();
    case TShortcut::Bookmark:
      return BookmarksAllowed();
    default:
      return true;
  }
}

bool TForm1Logic::RunShortcut(TShortcut shortcut) {
  if (!ShortcutAllowed(shortcut))
    return false;
  switch (shortcut) {
    case TShortcut::Find:
      ButtonSearchClick();
      break;
    case TShortcut::Search:
      ButtonDocumentSearchClick();
      break;
    case TShortcut::Print:
      ButtonPrintClick();
      break;
    case TShortcut::TextLarger:
      Largest1Click(std::min(textSize_ + 1, kLargestTextSize));
      break;
    case TShortcut::TextSmaller:
      Largest1Click(std::max(textSize_ - 1, kSmallestTextSize));
      break;
    case TShortcut::TextMedium:
      Largest1Click(kDefaultTextSize);
      break;
    case TShortcut::Exit:
      Exit1Click();
      break;
    case TShortcut::Home:
      ButtonHomeClick();
      break;
    case TShortcut::Back:
      ButtonBackClick();
      break;
    case TShortcut::Forward:
      ButtonForwardClick();
      break;
    case TShortcut::Bookmark:
      AddBookmark();
      break;
    case TShortcut::SidePane:
      ButtonSidePaneClick();
      break;
  }
  return true;
}

void TForm1Logic::WebBrowser1CommandStateChange(int command, bool enable) {
  if (command == CSC_NAVIGATEFORWARD) {
    view_.SetEnabled(TFormControl::ButtonForward, enable);
    view_.SetEnabled(TFormControl::GoForward1, enable);
  } else if (command == CSC_NAVIGATEBACK) {
    view_.SetEnabled(TFormControl::ButtonBack, enable);
    view_.SetEnabled(TFormControl::GoBack1, enable);
  }
}

void TForm1Logic::WebBrowser1TitleChange(const std::string& text) {
  pageTitle_ = text;
  view_.SetCaption(text);
  view_.SetApplicationTitle(text);
}

void TForm1Logic::WebBrowser1StatusTextChange(const std::string& text) {
  view_.SetStatusText(text);
}

void TForm1Logic::WebBrowser1BeforeNavigate2(std::string& url, TNavigationCause cause,
                                             bool& cancel) {
  const TNavigationDecision decision = navigationPolicy_.BeforeNavigate2(url, cause);
  if (decision.StatusText)
    view_.SetStatusText(*decision.StatusText);
  if (decision.Cancel)
    cancel = true;
  if (decision.CloseMainWindow)
    view_.Close();
}

void TForm1Logic::WebBrowser1NavigateError(const std::string&, int statusCode, bool&) {
  view_.SetStatusText(std::to_string(statusCode));
}

void TForm1Logic::WebBrowser1WindowClosing(bool, bool&) {
  view_.Close();
}

void TForm1Logic::WebBrowser1QueryService(const GUID& rsid, const GUID& iid,
                                          ComPtr<IUnknown>& obj) {
  QuerySecurityManagerService(rsid, iid, SecurityManager1, obj);
}

}  // namespace tomelet
