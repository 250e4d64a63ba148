#include "viewer/ColourScheme.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <cstring>

namespace tomelet {
namespace {

constexpr const char* kInterfaceSchema = "org.gnome.desktop.interface";
constexpr const char* kColourSchemeKey = "color-scheme";
constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kPortalSettings = "org.freedesktop.portal.Settings";
constexpr const char* kAppearance = "org.freedesktop.appearance";
// The portal's value for "prefer dark".
constexpr guint32 kPortalPrefersDark = 1;

void PreferDark(bool dark) {
  g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", dark, nullptr);
}

void ApplyGSettings(GSettings* settings, const char*, gpointer) {
  gchar* scheme = g_settings_get_string(settings, kColourSchemeKey);
  PreferDark(std::strcmp(scheme, "prefer-dark") == 0);
  g_free(scheme);
}

// The settings live as long as the program, so changes keep arriving.
void FollowGSettings() {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  GSettingsSchema* schema =
      source ? g_settings_schema_source_lookup(source, kInterfaceSchema, TRUE) : nullptr;
  if (!schema)
    return;
  const bool hasKey = g_settings_schema_has_key(schema, kColourSchemeKey);
  g_settings_schema_unref(schema);
  if (!hasKey)
    return;
  GSettings* settings = g_settings_new(kInterfaceSchema);
  ApplyGSettings(settings, nullptr, nullptr);
  g_signal_connect(settings, "changed::color-scheme", G_CALLBACK(ApplyGSettings), nullptr);
}

void ApplyPortalValue(GVariant* value) {
  if (value && g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32))
    PreferDark(g_variant_get_uint32(value) == kPortalPrefersDark);
}

void PortalAnswered(GObject* connection, GAsyncResult* result, gpointer) {
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(connection), result, nullptr);
  if (!reply)
    return;
  GVariant* boxed = nullptr;
  g_variant_get(reply, "(v)", &boxed);
  ApplyPortalValue(boxed);
  g_variant_unref(boxed);
  g_variant_unref(reply);
}

void PortalChanged(GDBusConnection*, const char*, const char*, const char*, const char*,
                   GVariant* parameters, gpointer) {
  const char* group = nullptr;
  const char* key = nullptr;
  GVariant* value = nullptr;
  g_variant_get(parameters, "(&s&sv)", &group, &key, &value);
  if (std::strcmp(group, kAppearance) == 0 && std::strcmp(key, kColourSchemeKey) == 0)
    ApplyPortalValue(value);
  g_variant_unref(value);
}

// The portal answers later, so start-up never waits for the bus.
void BusReady(GObject*, GAsyncResult* result, gpointer) {
  GDBusConnection* connection = g_bus_get_finish(result, nullptr);
  if (!connection)
    return;
  g_dbus_connection_signal_subscribe(connection, kPortalName, kPortalSettings, "SettingChanged",
                                     kPortalPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE, PortalChanged,
                                     nullptr, nullptr);
  g_dbus_connection_call(connection, kPortalName, kPortalPath, kPortalSettings, "ReadOne",
                         g_variant_new("(ss)", kAppearance, kColourSchemeKey),
                         G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr,
                         PortalAnswered, nullptr);
}

}  // namespace

void FollowDesktopColourScheme() {
  FollowGSettings();
  // Without a session bus the portal is not asked, so no bus is started for it.
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (bus && *bus)
    g_bus_get(G_BUS_TYPE_SESSION, nullptr, BusReady, nullptr);
}

}  // namespace tomelet
