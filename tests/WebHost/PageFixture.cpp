#include "tests/WebHost/PageFixture.h"

#include <gdk/gdkx.h>
#include <stdlib.h>

#include <stdexcept>

namespace tomelet::testing {
namespace {

std::string LongPage() {
  std::string page = "<html><head><title>Long</title></head><body>";
  for (int i = 0; i < 200; ++i)
    page += "<p>Line " + std::to_string(i) + " of a page taller than its window.</p>";
  return page + "</body></html>";
}

int RunCommand(const std::string& command) {
  return std::system(command.c_str());
}

}  // namespace

TTestDocument PolicyPages() {
  TTestDocument pages;
  pages
      .Entry("index.htm",
             "<html><head><title>Index</title><style>body{margin:0;font-size:40px}"
             "p,a,img{display:block;margin:20px}</style>"
             "<script>window.keys=[];document.addEventListener('keydown',function(e){"
             "keys.push((e.ctrlKey?'ctrl+':'')+(e.shiftKey?'shift+':'')+e.key.toLowerCase());});"
             "</script></head><body><p id=\"text\">Some text to click</p>"
             "<a id=\"link\" href=\"script.htm\">A link</a>"
             "<img id=\"image\" src=\"pic.svg\" width=\"80\" height=\"80\">"
             "<p id=\"empty\" style=\"height:80px\"></p></body></html>")
      .Entry("pic.svg",
             "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"80\" height=\"80\">"
             "<rect width=\"80\" height=\"80\" fill=\"#36c\"/></svg>")
      .Entry("script.htm",
             "<html><head><title>Before</title></head><body>"
             "<script>document.title='Script ran';</script></body></html>")
      .Entry("form.htm",
             "<html><head><title>Form</title></head><body><form id=\"form\" action=\"sent.htm\">"
             "<input name=\"q\" value=\"x\"></form></body></html>")
      .Entry("sent.htm", "<html><head><title>Sent</title></head><body>Sent</body></html>")
      .Entry("long.htm", LongPage());
  return pages;
}

void PageFixture::SetUp() {
  if (!gdk_display_get_default())
    GTEST_SKIP() << "needs an X server (run under xvfb-run)";
  gchar* made = g_dir_make_tmp("page-policy-XXXXXX", nullptr);
  ASSERT_NE(made, nullptr);
  folder_ = made;
  g_free(made);
  document_ = std::make_unique<TServedDocument>(PolicyPages(), folder_);
  window_ = std::make_unique<Gtk::Window>();
  window_->set_title(kWindowTitle);
  window_->set_default_size(640, 480);
  window_->move(0, 0);
  host_ = std::make_unique<TWebHost>();
  host_->PopupMenu = [this](const GdkEvent*) { ++popupMenus_; };
  host_->Events.OnQueryService = [this](const GUID& rsid, const GUID& iid, ComPtr<IUnknown>& obj) {
    if (rsid == IID_IInternetSecurityManager && iid == rsid)
      securityManager_.QueryInterface(iid, obj.PutVoid());
  };
  host_->Events.OnDocumentComplete = [this](const std::string& url) { completed_.push_back(url); };
  layout_.pack_start(textField_, Gtk::PACK_SHRINK);
  layout_.pack_start(host_->Widget(), Gtk::PACK_EXPAND_WIDGET);
  window_->add(layout_);
  window_->show_all();
  window_->present();
  PumpUntil([this] { return window_->is_active(); }, 2s);
}

void PageFixture::TearDown() {
  host_.reset();
  window_.reset();
  document_.reset();
  std::error_code ignored;
  if (!folder_.empty())
    std::filesystem::remove_all(folder_, ignored);
}

WebKitWebView* PageFixture::View() const {
  return WEBKIT_WEB_VIEW(host_->Page().gobj());
}

::testing::AssertionResult PageFixture::NavigateAndWait(const std::string& url) {
  return AwaitLogEntry(completed_, url, [&] { host_->Navigate(url); });
}

std::string PageFixture::Evaluate(const std::string& script) {
  return EvaluateScript(View(), script);
}

std::string PageFixture::XWindow() const {
  return std::to_string(GDK_WINDOW_XID(window_->get_window()->gobj()));
}

void PageFixture::ClickAt(int x, int y, int button) {
  int inWindowX = 0, inWindowY = 0, originX = 0, originY = 0;
  gtk_widget_translate_coordinates(GTK_WIDGET(View()), GTK_WIDGET(window_->gobj()), x, y,
                                   &inWindowX, &inWindowY);
  gdk_window_get_origin(window_->get_window()->gobj(), &originX, &originY);
  RunCommand("xdotool mousemove " + std::to_string(originX + inWindowX) + " " +
             std::to_string(originY + inWindowY) + " click " + std::to_string(button));
  PumpFor(300ms);
}

void PageFixture::PressKeys(const std::string& keys) {
  RunCommand("xdotool windowfocus --sync " + XWindow() + " key --clearmodifiers " + keys);
  PumpFor(300ms);
}

std::pair<int, int> PageFixture::CentreOf(const std::string& id) {
  const std::string box = "document.getElementById('" + id + "').getBoundingClientRect()";
  return {std::stoi(Evaluate("Math.round(" + box + ".left + " + box + ".width / 2)")),
          std::stoi(Evaluate("Math.round(" + box + ".top + " + box + ".height / 2)"))};
}

}  // namespace tomelet::testing
