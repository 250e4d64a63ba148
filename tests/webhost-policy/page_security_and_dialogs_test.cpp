#include <gtk/gtk.h>

#include "../webhost/LoopbackHttpServer.h"
#include "PageFixture.h"

namespace tomelet::testing {
namespace {

constexpr const char* kScriptPage = "tome://inpack/script.htm";
constexpr const char* kFormPage = "tome://inpack/form.htm";
constexpr const char* kSentPage = "tome://inpack/sent.htm?q=x";
constexpr const char* kDialogsPage = "tome://inpack/dialogs.htm";

using enum TAllowDisAllowPolicyOption;

using SecurityPolicyTest = PageFixture;

class ScriptSwitchTest : public PageFixture {
 protected:
  // The page's title once it has settled after the load.
  std::string SettledTitle() {
    PumpFor(300ms);
    const char* title = webkit_web_view_get_title(View());
    return title ? title : "";
  }
};

TEST_F(ScriptSwitchTest, ScriptsRunWhileTheyAreAllowed) {
  ASSERT_TRUE(NavigateAndWait(kScriptPage));
  EXPECT_EQ(SettledTitle(), "Script ran");
}

TEST_F(ScriptSwitchTest, DisallowedScriptsDoNotRunAndComeBackWhenAllowedAgain) {
  securityManager_.UrlPolicy.Scripts = Disallow;
  ASSERT_TRUE(NavigateAndWait(kScriptPage));
  EXPECT_EQ(SettledTitle(), "Before");
  securityManager_.UrlPolicy.Scripts = Allow;
  ASSERT_TRUE(NavigateAndWait(kScriptPage));
  EXPECT_EQ(SettledTitle(), "Script ran");
}

TEST_F(SecurityPolicyTest, FormsAreSubmittedWhileAllowed) {
  ASSERT_TRUE(NavigateAndWait(kFormPage));
  Evaluate("document.getElementById('form').submit(); 'sent'");
  EXPECT_TRUE(PumpUntil([this] { return std::ranges::count(completed_, kSentPage) == 1; }));
}

TEST_F(SecurityPolicyTest, DisallowedFormSubmissionKeepsThePage) {
  securityManager_.UrlPolicy.SubmitForms = Disallow;
  ASSERT_TRUE(NavigateAndWait(kFormPage));
  Evaluate("document.getElementById('form').submit(); 'sent'");
  PumpFor(500ms);
  EXPECT_EQ(std::ranges::count(completed_, kSentPage), 0);
  EXPECT_STREQ(webkit_web_view_get_title(View()), "Form");
  ASSERT_TRUE(NavigateAndWait(kSentPage)) << "an ordinary navigation still goes";
}

class CrossDomainTest : public PageFixture {
 protected:
  // What the page learns when it reads the other site's page: its length, or "blocked".
  std::string ReadOtherSite() {
    Evaluate("document.title = 'reading'; fetch('" + server_.Url("data") +
             "').then(function (r) { return r.text(); }).then("
             "function (t) { document.title = 'read ' + t.length; },"
             "function () { document.title = 'blocked'; }); 'started'");
    std::string title;
    PumpUntil([&] {
      const char* now = webkit_web_view_get_title(View());
      title = now ? now : "";
      return title == "blocked" || title.starts_with("read ");
    });
    return title;
  }

  TLoopbackHttpServer server_{200, "OK"};
};

TEST_F(CrossDomainTest, AllowedLetsAPageReadAnotherSite) {
  ASSERT_TRUE(NavigateAndWait(kFormPage));
  EXPECT_TRUE(ReadOtherSite().starts_with("read ")) << webkit_web_view_get_title(View());
}

TEST_F(CrossDomainTest, DisallowedKeepsTheOtherSiteClosed) {
  securityManager_.UrlPolicy.CrossDomainData = Disallow;
  ASSERT_TRUE(NavigateAndWait(kFormPage));
  EXPECT_EQ(ReadOtherSite(), "blocked");
}

TEST_F(SecurityPolicyTest, CrossDomainDataFollowsItsOption) {
  ASSERT_TRUE(NavigateAndWait(kFormPage));
  WebKitSettings* settings = webkit_web_view_get_settings(View());
  EXPECT_TRUE(webkit_settings_get_allow_universal_access_from_file_urls(settings));
  EXPECT_TRUE(webkit_settings_get_allow_file_access_from_file_urls(settings));
  securityManager_.UrlPolicy.CrossDomainData = Disallow;
  ASSERT_TRUE(NavigateAndWait(kSentPage));
  EXPECT_FALSE(webkit_settings_get_allow_universal_access_from_file_urls(settings));
  EXPECT_FALSE(webkit_settings_get_allow_file_access_from_file_urls(settings));
}

// Finds the page's box among the open windows.
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

GtkEntry* EntryIn(GtkWidget* widget) {
  if (GTK_IS_ENTRY(widget))
    return GTK_ENTRY(widget);
  if (!GTK_IS_CONTAINER(widget))
    return nullptr;
  GtkEntry* found = nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* child = children; child && !found; child = child->next)
    found = EntryIn(GTK_WIDGET(child->data));
  g_list_free(children);
  return found;
}

class ScriptDialogTest : public PageFixture {
 protected:
  void SetUp() override {
    PageFixture::SetUp();
    if (IsSkipped())
      return;
    icon_ = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 16, 16);
    gdk_pixbuf_fill(icon_, 0xCC3333FF);
    gtk_window_set_icon(window_->gobj(), icon_);
    ASSERT_TRUE(NavigateAndWait(kDialogsPage));
  }
  void TearDown() override {
    if (icon_)
      g_object_unref(icon_);
    PageFixture::TearDown();
  }

  // Starts a script that opens a box and keeps its answer in window.answer.
  GtkWindow* Open(const std::string& call) {
    Evaluate("window.answer = 'pending'; setTimeout(function () { window.answer = String(" + call +
             "); }, 0); 'started'");
    GtkWindow* box = nullptr;
    PumpUntil([&] { return (box = ScriptBox()) != nullptr; }, 3s);
    return box;
  }

  std::string AnswerAfter(GtkWindow* box, int response) {
    gtk_dialog_response(GTK_DIALOG(box), response);
    PumpUntil([this] { return Evaluate("window.answer") != "pending"; }, 3s);
    return Evaluate("window.answer");
  }

  GdkPixbuf* icon_ = nullptr;
};

TEST_F(ScriptDialogTest, AlertIsOurBoxWithTheWindowTitleAndIcon) {
  GtkWindow* box = Open("alert('Hello from the page')");
  ASSERT_NE(box, nullptr);
  EXPECT_STREQ(gtk_window_get_title(box), kWindowTitle);
  EXPECT_EQ(gtk_window_get_icon(box), icon_);
  EXPECT_TRUE(gtk_window_get_modal(box));
  EXPECT_EQ(gtk_window_get_transient_for(box), window_->gobj());
  EXPECT_EQ(AnswerAfter(box, GTK_RESPONSE_OK), "undefined");
}

TEST_F(ScriptDialogTest, ConfirmAnswersWhatTheUserChose) {
  GtkWindow* box = Open("confirm('Go on?')");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(AnswerAfter(box, GTK_RESPONSE_OK), "true");
  box = Open("confirm('Go on?')");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(AnswerAfter(box, GTK_RESPONSE_CANCEL), "false");
}

TEST_F(ScriptDialogTest, PromptReturnsTheTypedTextOrNull) {
  GtkWindow* box = Open("prompt('Your name?', 'guest')");
  ASSERT_NE(box, nullptr);
  GtkEntry* entry = EntryIn(GTK_WIDGET(box));
  ASSERT_NE(entry, nullptr);
  EXPECT_STREQ(gtk_entry_get_text(entry), "guest");
  gtk_entry_set_text(entry, "Ada");
  EXPECT_EQ(AnswerAfter(box, GTK_RESPONSE_OK), "Ada");
  box = Open("prompt('Your name?', 'guest')");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(AnswerAfter(box, GTK_RESPONSE_CANCEL), "null");
}

TEST_F(ScriptDialogTest, ABoxClosedWithoutAnAnswerReleasesThePage) {
  GtkWindow* box = Open("confirm('Go on?')");
  ASSERT_NE(box, nullptr);
  gtk_widget_destroy(GTK_WIDGET(box));
  EXPECT_TRUE(PumpUntil([this] { return Evaluate("window.answer") == "false"; }, 3s));
}

TEST_F(ScriptDialogTest, CaptionLosesTheBrowserMakersName) {
  window_->set_title("Microsoft Internet Explorer");
  GtkWindow* box = Open("alert('x')");
  ASSERT_NE(box, nullptr);
  EXPECT_STREQ(gtk_window_get_title(box), "");
  AnswerAfter(box, GTK_RESPONSE_OK);
}

TEST_F(ScriptDialogTest, NoBoxAtAllWhenDialogsAreOff) {
  host_->Settings.DialogBoxes.DisableAll = true;
  Evaluate("window.answer = String(confirm('Go on?')); 'done'");
  EXPECT_EQ(Evaluate("window.answer"), "false");
  EXPECT_EQ(ScriptBox(), nullptr);
}

}  // namespace
}  // namespace tomelet::testing
