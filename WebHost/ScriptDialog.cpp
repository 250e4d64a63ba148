// The page's alert, confirm and prompt boxes, shown by the viewer with its own icon and caption
// while the page waits for the answer.
#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "WebHost/PagePolicy.h"
#include "WebHost/WebHost.h"

namespace tomelet {
namespace {

struct TOpenScriptDialog {
  WebKitScriptDialog* Script;
  GtkWidget* Entry;
};

bool AsksQuestion(WebKitScriptDialogType type) {
  return type != WEBKIT_SCRIPT_DIALOG_ALERT;
}

// The engine would name the page's origin here; the viewer names itself instead.
std::string Caption(GtkWindow* parent, const TDialogBoxes& boxes) {
  const char* title = parent ? gtk_window_get_title(parent) : nullptr;
  if (!title || !*title)
    title = g_get_application_name();
  std::string caption = title ? title : "";
  return boxes.ReplaceCaption ? ReplaceDialogCaption(caption, boxes.NewCaption) : caption;
}

void UseApplicationIcon(GtkWindow* dialog, GtkWindow* parent) {
  if (GdkPixbuf* icon = parent ? gtk_window_get_icon(parent) : nullptr) {
    gtk_window_set_icon(dialog, icon);
    return;
  }
  GList* icons = gtk_window_get_default_icon_list();
  if (icons)
    gtk_window_set_icon_list(dialog, icons);
  g_list_free(icons);
}

GtkWidget* AddPromptEntry(GtkWidget* dialog, WebKitScriptDialog* script) {
  GtkWidget* entry = gtk_entry_new();
  gtk_entry_set_text(GTK_ENTRY(entry), webkit_script_dialog_prompt_get_default_text(script));
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  gtk_box_pack_end(GTK_BOX(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog))), entry,
                   FALSE, FALSE, 0);
  return entry;
}

void Answer(GtkDialog* dialog, gint response, gpointer data) {
  const auto& open = *static_cast<TOpenScriptDialog*>(data);
  const bool confirmed = response == GTK_RESPONSE_OK;
  const WebKitScriptDialogType type = webkit_script_dialog_get_dialog_type(open.Script);
  if (type == WEBKIT_SCRIPT_DIALOG_PROMPT && confirmed)
    webkit_script_dialog_prompt_set_text(open.Script, gtk_entry_get_text(GTK_ENTRY(open.Entry)));
  else if (AsksQuestion(type) && type != WEBKIT_SCRIPT_DIALOG_PROMPT)
    webkit_script_dialog_confirm_set_confirmed(open.Script, confirmed);
  gtk_widget_destroy(GTK_WIDGET(dialog));
}

// Runs when the box goes, answered or not, so the page never waits for a box that is gone.
void Release(gpointer data, GClosure*) {
  std::unique_ptr<TOpenScriptDialog> open(static_cast<TOpenScriptDialog*>(data));
  webkit_script_dialog_close(open->Script);
  webkit_script_dialog_unref(open->Script);
}

}  // namespace

// Every box of the page closes at once, with the answers of a cancel, when dialogs are off.
bool TPagePolicy::ShowScriptDialog(WebKitScriptDialog* script) {
  const TDialogBoxes& boxes = host_.Settings.DialogBoxes;
  if (boxes.DisableAll)
    return true;
  const WebKitScriptDialogType type = webkit_script_dialog_get_dialog_type(script);
  GtkWidget* dialog = gtk_message_dialog_new(
      toplevel_, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      AsksQuestion(type) ? GTK_MESSAGE_QUESTION : GTK_MESSAGE_WARNING,
      AsksQuestion(type) ? GTK_BUTTONS_OK_CANCEL : GTK_BUTTONS_OK, "%s",
      webkit_script_dialog_get_message(script));
  gtk_window_set_title(GTK_WINDOW(dialog), Caption(toplevel_, boxes).c_str());
  if (boxes.ReplaceIcon)
    UseApplicationIcon(GTK_WINDOW(dialog), toplevel_);
  GtkWidget* entry = type == WEBKIT_SCRIPT_DIALOG_PROMPT ? AddPromptEntry(dialog, script) : nullptr;
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  auto open = std::make_unique<TOpenScriptDialog>(webkit_script_dialog_ref(script), entry);
  g_signal_connect_data(dialog, "response", G_CALLBACK(Answer), open.release(), Release,
                        GConnectFlags{});
  gtk_widget_show_all(dialog);
  return true;
}

}  // namespace tomelet
