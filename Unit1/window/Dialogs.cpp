#include "Unit1/window/Dialogs.h"

#include <gio/gio.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "Unit1/TestTrace.h"
#include "import/Import.h"

extern "C" {
#include "program_pictures.h"
}

namespace tomelet {
namespace {

constexpr int kPasswordMaxLength = 255;

}  // namespace

void TDialogs::Place(Gtk::Window& dialog) const {
  if (owner_ && owner_->get_visible())
    dialog.set_transient_for(*owner_);
  else
    dialog.set_position(Gtk::WIN_POS_CENTER);
  dialog.set_modal(true);
}

void TDialogs::ShowMessage(const std::string& caption, const std::string& text,
                           Gtk::MessageType type) {
  Gtk::MessageDialog box(text, false, type, Gtk::BUTTONS_OK, true);
  box.set_title(caption);
  Place(box);
  box.run();
}

void TDialogs::ShowInformation(const std::string& text) {
  TestTrace("information", text);
  ShowMessage(std::string(kInformationCaption), text, Gtk::MESSAGE_INFO);
}

void TDialogs::ShowError(const std::string& text) {
  TestTrace("error", text);
  ShowMessage(applicationTitle_, text, Gtk::MESSAGE_ERROR);
}

std::string TDialogs::AskPassword(const std::string& caption, const std::string& prompt) {
  TestTrace("password", caption);
  Gtk::Dialog dialog(caption, true);
  Place(dialog);
  dialog.set_resizable(false);
  dialog.add_button("_Cancel", Gtk::RESPONSE_CANCEL);
  dialog.add_button("_OK", Gtk::RESPONSE_OK);
  dialog.set_default_response(Gtk::RESPONSE_OK);

  Gtk::Label label(prompt);
  label.set_xalign(0);
  Gtk::Entry field;
  field.set_max_length(kPasswordMaxLength);
  field.set_visibility(false);
  field.set_activates_default(true);
  Gtk::CheckButton show("_Show password", true);
  show.signal_toggled().connect([&] { field.set_visibility(show.get_active()); });

  auto& area = *dialog.get_content_area();
  area.set_spacing(6);
  area.set_border_width(10);
  area.pack_start(label, Gtk::PACK_SHRINK);
  area.pack_start(field, Gtk::PACK_SHRINK);
  area.pack_start(show, Gtk::PACK_SHRINK);
  dialog.show_all();
  field.grab_focus();
  return dialog.run() == Gtk::RESPONSE_OK ? std::string(field.get_text()) : std::string();
}

std::optional<std::string> TDialogs::ChooseDocument() {
  TestTrace("open dialog", "");
  Gtk::FileChooserDialog dialog("Open", Gtk::FILE_CHOOSER_ACTION_OPEN);
  Place(dialog);
  dialog.add_button("_Cancel", Gtk::RESPONSE_CANCEL);
  dialog.add_button("_Open", Gtk::RESPONSE_ACCEPT);
  dialog.set_default_response(Gtk::RESPONSE_ACCEPT);
  auto filter = Gtk::FileFilter::create();
  filter->set_name(std::string(kDocumentFilterName));
  filter->add_pattern(std::string(kDocumentFilterPattern));
  dialog.add_filter(filter);
  if (dialog.run() != Gtk::RESPONSE_ACCEPT)
    return std::nullopt;
  return dialog.get_filename();
}

// The import runs on a thread of its own while the dialog's bar follows its pages.
std::optional<std::string> TDialogs::ImportSource(const std::string& source,
                                                  const std::string& path) {
  TestTrace("import", source);
  Gtk::Dialog dialog("Importing", false);
  Place(dialog);
  dialog.set_deletable(false);
  dialog.set_default_size(420, -1);
  Gtk::Label label("Importing " + std::filesystem::path(source).filename().string() + "\u2026");
  label.set_xalign(0);
  Gtk::ProgressBar bar;
  bar.set_show_text(true);
  auto& area = *dialog.get_content_area();
  area.set_spacing(8);
  area.set_border_width(12);
  area.pack_start(label, Gtk::PACK_SHRINK);
  area.pack_start(bar, Gtk::PACK_SHRINK);
  dialog.show_all();

  std::atomic<double> fraction{0};
  std::atomic<bool> finished{false};
  std::optional<std::string> failure;
  std::thread worker([&] {
    importer::TImportSettings settings;
    settings.Progress = [&fraction](std::size_t done, std::size_t total) {
      fraction = total == 0 ? 0.0 : static_cast<double>(done) / static_cast<double>(total);
    };
    try {
      importer::ImportDocument(source, path, settings);
    } catch (const std::exception& e) {
      failure = e.what();
    }
    finished = true;
  });
  auto poll = Glib::signal_timeout().connect(
      [&] {
        bar.set_fraction(fraction);
        if (finished)
          dialog.response(Gtk::RESPONSE_OK);
        return !finished;
      },
      100);
  dialog.run();
  poll.disconnect();
  worker.join();
  TestTrace("imported", failure.value_or(path));
  return failure;
}

bool TDialogs::ConfirmWarning(const std::string& caption, const std::string& text) {
  TestTrace("warning", caption);
  Gtk::MessageDialog box(text, false, Gtk::MESSAGE_WARNING, Gtk::BUTTONS_YES_NO, true);
  box.set_title(caption);
  box.set_default_response(Gtk::RESPONSE_NO);
  box.set_position(Gtk::WIN_POS_CENTER);
  box.set_keep_above(true);
  return box.run() == Gtk::RESPONSE_YES;
}

// The desktop's program for a file of that name, as the reader knows it; empty when none is set.
std::string DefaultProgramName(const std::string& fileName) {
  gchar* type = g_content_type_guess(fileName.c_str(), nullptr, 0, nullptr);
  GAppInfo* program = g_app_info_get_default_for_type(type, FALSE);
  g_free(type);
  if (!program)
    return {};
  std::string name = g_app_info_get_display_name(program);
  g_object_unref(program);
  return name;
}

TDownloadChoice TDialogs::AskDownload(const std::string& name) {
  TestTrace("download", name);
  Gtk::MessageDialog box("This page cannot be shown here: " + name, false, Gtk::MESSAGE_QUESTION,
                         Gtk::BUTTONS_NONE, true);
  box.set_title(applicationTitle_);
  box.set_secondary_text("Save it as a file, or open it with the desktop's program?");
  Place(box);
  const std::string program = DefaultProgramName(name);
  box.add_button("_Cancel", Gtk::RESPONSE_CANCEL);
  box.add_button(program.empty() ? "_Open" : "_Open with " + program, Gtk::RESPONSE_APPLY);
  box.add_button("_Save...", Gtk::RESPONSE_ACCEPT);
  box.set_default_response(Gtk::RESPONSE_ACCEPT);
  switch (box.run()) {
    case Gtk::RESPONSE_ACCEPT:
      return TDownloadChoice::Save;
    case Gtk::RESPONSE_APPLY:
      return TDownloadChoice::Open;
    default:
      return TDownloadChoice::Cancel;
  }
}

std::optional<std::string> TDialogs::ChooseSaveFile(const std::string& name) {
  TestTrace("save dialog", name);
  Gtk::FileChooserDialog dialog("Save", Gtk::FILE_CHOOSER_ACTION_SAVE);
  Place(dialog);
  dialog.add_button("_Cancel", Gtk::RESPONSE_CANCEL);
  dialog.add_button("_Save", Gtk::RESPONSE_ACCEPT);
  dialog.set_default_response(Gtk::RESPONSE_ACCEPT);
  dialog.set_do_overwrite_confirmation(true);
  dialog.set_current_name(name);
  if (dialog.run() != Gtk::RESPONSE_ACCEPT)
    return std::nullopt;
  return dialog.get_filename();
}

void TDesktopShell::Open(const std::string& pathOrUri) {
  TestTrace("shell", pathOrUri);
  if (TestTraceEnabled())
    return;
  try {
    const bool isUri = Glib::uri_parse_scheme(pathOrUri).size() > 1;
    const std::string uri = isUri ? pathOrUri : Glib::filename_to_uri(pathOrUri).raw();
    g_app_info_launch_default_for_uri(uri.c_str(), nullptr, nullptr);
  } catch (const Glib::Error&) {
    // A name the desktop cannot turn into a URI has no program to open it either.
  }
}

Glib::RefPtr<Gdk::Pixbuf> ProgramPicture(const std::string& name) {
  static std::once_flag registered;
  std::call_once(registered, [] { program_pictures_register_resource(); });
  // Buttons swap between their pictures often; each picture is decoded once.
  static std::map<std::string, Glib::RefPtr<Gdk::Pixbuf>> decoded;
  auto& picture = decoded[name];
  if (!picture)
    picture = Gdk::Pixbuf::create_from_resource("/org/tomelet/icons/" + name + ".png");
  return picture;
}

Glib::RefPtr<Gdk::Pixbuf> IconPicture(std::span<const std::byte> icon, int size) {
  try {
    auto loader = Gdk::PixbufLoader::create("ico");
    loader->write(reinterpret_cast<const guint8*>(icon.data()), icon.size());
    loader->close();
    auto picture = loader->get_pixbuf();
    if (picture && (picture->get_width() > size || picture->get_height() > size))
      picture = picture->scale_simple(size, size, Gdk::INTERP_BILINEAR);
    return picture;
  } catch (const Glib::Error&) {
    return {};
  }
}

}  // namespace tomelet
