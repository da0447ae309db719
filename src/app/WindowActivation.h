#pragma once

#include <QByteArray>

class QWidget;

namespace skyloom::app {

// Brings a top-level window in front of the user: shown when hidden,
// restored when minimised, moved to the current workspace, raised and given
// the focus, whatever else is on screen. `token` is the launcher's activation
// token of the start that asks for it (DESKTOP_STARTUP_ID on X11,
// XDG_ACTIVATION_TOKEN on Wayland), empty when there is none.
//
// On X11 the window manager is asked as a pager would ask (source 2 of
// _NET_ACTIVE_WINDOW), which window managers grant even when their focus
// stealing prevention would refuse the app itself, and the launcher's
// startup notification is completed. On Wayland only the compositor may
// focus a window: the token is handed to it through xdg-activation, and a
// compositor without that protocol (or a stale token) leaves the focus where
// it is; the window is shown all the same.
void bringToFront(QWidget* window, const QByteArray& token = {});

} // namespace skyloom::app
