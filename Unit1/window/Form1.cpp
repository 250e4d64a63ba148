#include "Unit1/window/Form1.h"

#include <gtk/gtk.h>

#include "Unit1/TestTrace.h"

namespace tomelet {
namespace {

constexpr int kMinimumWidth = 200;
// How far each further document window opens down and to the right of the centre.
constexpr int kCascadeStep = 32;

}  // namespace

TForm1::TForm1(IApplication& application, IProtocolSession& protocol, TZLBArc2& arc,
               TCommandLine commandLine)
    : application_(application), page_(*this, protocol, arc, std::move(commandLine)) {
  set_title(std::string(kApplicationTitle));
  Place();
  set_icon(ProgramPicture("tomelet-viewer"));
  add(page_);
  SetBorder(TWindowBorder::Design);
  dialogs_.SetOwner(this);
}

void TForm1::Create() {
  page_.Create();
}

void TForm1::SetOuterSize(int width, int height) {
  width_ = std::max(width, kMinimumWidth);
  height_ = std::max(height, 0);
  ApplySize();
  Place();
}

// A window of fixed size takes the size of its content, so the content is given that size;
// a sizeable one is merely resized and may shrink down to the minimum width.
void TForm1::ApplySize() {
  if (get_resizable()) {
    page_.set_size_request(-1, -1);
    set_size_request(kMinimumWidth, -1);
    set_default_size(width_, height_);
    resize(width_, std::max(height_, 1));
  } else {
    set_size_request(-1, -1);
    page_.set_size_request(width_, height_);
  }
}

void TForm1::CenterOnDesktop() {
  Place();
}

// Centred; a further window a step down and to the right for each one open before it.
void TForm1::Place() {
  const int step = kCascadeStep * slot_.Number();
  if (step == 0) {
    set_position(Gtk::WIN_POS_CENTER);
    return;
  }
  const auto display = get_display();
  auto monitor = display->get_primary_monitor();
  if (!monitor)
    monitor = display->get_monitor(0);
  Gdk::Rectangle area;
  if (monitor)
    monitor->get_workarea(area);
  set_position(Gtk::WIN_POS_NONE);
  move(area.get_x() + std::max(0, (area.get_width() - width_) / 2) + step,
       area.get_y() + std::max(0, (area.get_height() - height_) / 2) + step);
}

void TForm1::SetBorder(TWindowBorder border) {
  border_ = border;
  set_decorated(border != TWindowBorder::None && border != TWindowBorder::NoneMaximised);
  // Window managers maximise only a window that may change its size.
  set_resizable(border == TWindowBorder::Sizeable || border == TWindowBorder::NoneMaximised);
  if (border == TWindowBorder::NoneMaximised)
    maximize();
  ApplySize();
  ApplyWindowFunctions();
}

void TForm1::ApplyWindowFunctions() {
  auto window = get_window();
  if (!window)
    return;
  const auto kFixedFunctions = Gdk::FUNC_MOVE | Gdk::FUNC_MINIMIZE | Gdk::FUNC_CLOSE;
  const auto kFixedDecorations =
      Gdk::DECOR_BORDER | Gdk::DECOR_TITLE | Gdk::DECOR_MENU | Gdk::DECOR_MINIMIZE;
  if (border_ == TWindowBorder::SingleNoMaximise) {
    window->set_functions(kFixedFunctions);
    window->set_decorations(kFixedDecorations);
  } else if (border_ == TWindowBorder::Design) {
    window->set_functions(kFixedFunctions | Gdk::FUNC_MAXIMIZE);
    window->set_decorations(kFixedDecorations | Gdk::DECOR_MAXIMIZE);
  }
}

void TForm1::on_realize() {
  Gtk::Window::on_realize();
  ApplyWindowFunctions();
}

void TForm1::on_show() {
  Gtk::Window::on_show();
  TestTrace("window", "shown");
}

void TForm1::SetCaption(const std::string& text) {
  set_title(text);
  TestTrace("title", text);
}

void TForm1::ToggleFullScreen() {
  if (fullScreen_)
    unfullscreen();
  else
    fullscreen();
}

std::optional<std::pair<int, int>> TForm1::WindowSize() {
  if (fullScreen_ || is_maximized())
    return std::nullopt;
  int width = 0, height = 0;
  get_size(width, height);
  return std::pair{width, height};
}

void TForm1::Close() {
  close();
}

void TForm1::Terminate() {
  terminated_ = application_.Terminate() || terminated_;
}

bool TForm1::on_delete_event(GdkEventAny*) {
  if (closing_)
    return true;
  closing_ = true;
  // The window goes at once: the blank page that lets the document go may take seconds while
  // the engine is busy with a large entry.
  hide();
  page_.Logic().Guarded([this] { page_.Logic().FormClose(); });
  closing_ = false;
  if (application_.Terminate())
    terminated_ = true;
  else
    show();
  return true;
}

bool TForm1::on_key_press_event(GdkEventKey* key) {
  return page_.HandleKey(key) || Gtk::Window::on_key_press_event(key);
}

// A key that ends the program is still released while Exit takes the window down, when the
// widget that had the keyboard may be gone already; the release then goes nowhere.
bool TForm1::on_key_release_event(GdkEventKey* key) {
  const Gtk::Widget* focus = get_focus();
  return (focus != nullptr && !focus->get_realized()) || Gtk::Window::on_key_release_event(key);
}

bool TForm1::on_window_state_event(GdkEventWindowState* event) {
  const bool fullScreen = (event->new_window_state & GDK_WINDOW_STATE_FULLSCREEN) != 0;
  if (std::exchange(fullScreen_, fullScreen) != fullScreen)
    TestTrace("window", fullScreen ? "full screen" : "not full screen");
  return Gtk::Window::on_window_state_event(event);
}

}  // namespace tomelet
