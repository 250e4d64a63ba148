// The desktop's colour scheme for the viewer: its window and the pages it shows (through the
// engine's prefers-color-scheme) turn dark when the desktop prefers dark, and follow changes.
#pragma once

namespace tomelet {

// Reads the settings portal when a session bus is there, else GSettings' color-scheme of
// org.gnome.desktop.interface; without either the window keeps its theme. Never fails.
void FollowDesktopColourScheme();

}  // namespace tomelet
