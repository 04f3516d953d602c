// SPDX-License-Identifier: GPL-2.0-or-later
// What hardsid-settings.exe looks for in a loaded library: the windows it finds by their
// titles and the notice that opens the settings window, as a click on the tray icon does.
// The resource script takes the dialog's caption from here too.
#pragma once

#define HARDSID_SETTINGS_CAPTION "Fennick"

#ifndef RC_INVOKED
namespace hardsid {

/// Title of the settings window (the dialog).
inline constexpr const char* kSettingsCaption = HARDSID_SETTINGS_CAPTION;
/// Title of the tray icon's hidden window, which receives the icon's notices.
inline constexpr const char* kTrayWindowTitle = "TCiaTrayWindow";
/// The tray icon's callback message (WM_USER + 1); lParam carries the mouse message.
inline constexpr unsigned kTrayCallbackMessage = 0x0401;
/// The tray icon's identifier in the notification area.
inline constexpr unsigned kTrayIconId = 57051;

} // namespace hardsid
#endif
