#include <gtk/gtk.h>

#include <algorithm>
#include <initializer_list>

#include "tests/WebHost/PageFixture.h"
#include "tests/support/gui/LoopbackHttpServer.h"

namespace tomelet::testing {
namespace {

constexpr const char* kScriptPage = "tome://inpack/script.htm";
constexpr const char* kFormPage = "tome://inpack/form.htm";

using enum TAllowDisAllowPolicyOption;

class PageSecurityTest : public PageFixture {
 protected:
  // The page's title once the page has settled, or once it is one of the awaited titles.
  std::string Title(std::initializer_list<std::string> awaited = {}) {
    std::string title;
    PumpUntil(
        [&] {
          const char* now = webkit_web_view_get_title(View());
          title = now ? now : "";
          return std::ranges::find(awaited, title) != awaited.end();
        },
        awaited.size() ? 5000ms : 300ms);
    return title;
  }

  // What the page learns when it reads another site: "read", or "blocked".
  std::string ReadOtherSite() {
    Evaluate("fetch('" + server_.Url("data") + "').then(function (r) { return r.text(); })" +
             ".then(function () { document.title = 'read'; }," +
             " function () { document.title = 'blocked'; }); 'started'");
    return Title({"read", "blocked"});
  }

  TLoopbackHttpServer server_{200, "OK"};
};

TEST_F(PageSecurityTest, ScriptsRunOnlyWhileAllowed) {
  securityManager_.UrlPolicy.Scripts = Disallow;
  ASSERT_TRUE(NavigateAndWait(kScriptPage));
  EXPECT_EQ(Title(), "Before");
  securityManager_.UrlPolicy.Scripts = Allow;
  ASSERT_TRUE(NavigateAndWait(kScriptPage));
  EXPECT_EQ(Title(), "Script ran");
}

TEST_F(PageSecurityTest, FormsAreSubmittedOnlyWhileAllowed) {
  securityManager_.UrlPolicy.SubmitForms = Disallow;
  ASSERT_TRUE(NavigateAndWait(kFormPage));
  Evaluate("document.getElementById('form').submit(); 'sent'");
  PumpFor(500ms);
  EXPECT_EQ(Title(), "Form");
  securityManager_.UrlPolicy.SubmitForms = Allow;
  Evaluate("document.getElementById('form').submit(); 'sent'");
  EXPECT_EQ(Title({"Sent"}), "Sent");
}

TEST_F(PageSecurityTest, AFormSentToANewWindowFollowsTheSamePolicy) {
  securityManager_.UrlPolicy.SubmitForms = Disallow;
  ASSERT_TRUE(NavigateAndWait(kFormPage));
  Evaluate(
      "const form = document.getElementById('form'); form.target = '_blank'; form.submit(); "
      "'sent'");
  PumpFor(500ms);
  EXPECT_EQ(Title(), "Form");
  securityManager_.UrlPolicy.SubmitForms = Allow;
  Evaluate("document.getElementById('form').submit(); 'sent'");
  EXPECT_EQ(Title({"Sent"}), "Sent");
}

// The engine keeps an origin it once opened for the life of the view, so each state gets its own.
TEST_F(PageSecurityTest, AllowedCrossDomainDataLetsAPageReadAnotherSite) {
  ASSERT_TRUE(NavigateAndWait(kFormPage));
  EXPECT_EQ(ReadOtherSite(), "read");
}

TEST_F(PageSecurityTest, DisallowedCrossDomainDataKeepsTheOtherSiteClosed) {
  securityManager_.UrlPolicy.CrossDomainData = Disallow;
  ASSERT_TRUE(NavigateAndWait(kFormPage));
  EXPECT_EQ(ReadOtherSite(), "blocked");
}

// The page's box among the open windows, once it is there.
GtkWindow* ScriptBox() {
  GtkWindow* found = nullptr;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item; item = item->next) {
    if (GTK_IS_MESSAGE_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data)))
      found = GTK_WINDOW(item->data);
  }
  g_list_free(windows);
  return found;
}

class ScriptDialogTest : public PageFixture {
 protected:
  // Starts a script that opens a box and keeps its answer in window.answer.
  GtkWindow* Open(const std::string& call) {
    Evaluate("window.answer = 'pending'; setTimeout(function () { window.answer = String(" + call +
             "); }, 0); 'started'");
    GtkWindow* box = nullptr;
    PumpUntil([&] { return (box = ScriptBox()) != nullptr; }, 3s);
    return box;
  }

  std::string Answer(GtkWindow* box, int response) {
    if (box)
      gtk_dialog_response(GTK_DIALOG(box), response);
    PumpUntil([this] { return Evaluate("window.answer") != "pending"; }, 3s);
    return Evaluate("window.answer");
  }
};

TEST_F(ScriptDialogTest, BoxesAreOursWithTheWindowTitleIconAndTheUsersAnswer) {
  GdkPixbuf* icon = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 16, 16);
  gtk_window_set_icon(window_->gobj(), icon);
  ASSERT_TRUE(NavigateAndWait(kFormPage));
  GtkWindow* box = Open("alert('Hello from the page')");
  ASSERT_NE(box, nullptr);
  EXPECT_STREQ(gtk_window_get_title(box), kWindowTitle);
  EXPECT_EQ(gtk_window_get_icon(box), icon);
  EXPECT_TRUE(gtk_window_get_modal(box));
  EXPECT_EQ(Answer(box, GTK_RESPONSE_OK), "undefined");
  EXPECT_EQ(Answer(Open("confirm('Go on?')"), GTK_RESPONSE_CANCEL), "false");
  EXPECT_EQ(Answer(Open("prompt('Name?', 'guest')"), GTK_RESPONSE_OK), "guest");
  EXPECT_EQ(Answer(Open("prompt('Name?', 'guest')"), GTK_RESPONSE_CANCEL), "null");
  g_object_unref(icon);
}

TEST_F(ScriptDialogTest, CaptionLosesTheBrowserMakersNameAndAVanishedBoxAnswersNo) {
  window_->set_title("Microsoft Internet Explorer");
  ASSERT_TRUE(NavigateAndWait(kFormPage));
  GtkWindow* box = Open("confirm('Go on?')");
  ASSERT_NE(box, nullptr);
  EXPECT_STREQ(gtk_window_get_title(box), "");
  gtk_widget_destroy(GTK_WIDGET(box));
  EXPECT_EQ(Answer(nullptr, 0), "false");
}

}  // namespace
}  // namespace tomelet::testing
