#pragma once

#include <QString>

#include <functional>

namespace skyloom::app {

// What the views ask of the application around them: windows by id, the
// settings window, quitting, update checks and the file-manager entries. The
// app fills these in; a view calls only those that are set.
struct AppActions {
    // Opens the window with this id ("manager", "welcome") or brings it
    // forward, then activates the application.
    std::function<void(const QString& id)> openWindowAndActivate;
    std::function<void()> openSettings;
    std::function<void()> quit;
    std::function<void()> checkForUpdates;
    // Whether an update check is still running; while it is, the settings'
    // button says so and cannot start another.
    std::function<bool()> isCheckingForUpdates;
    // Writes (false) or removes (true) the file-manager entries; returns an
    // error text, empty on success.
    std::function<QString(bool remove)> integrateFileManagers;
};

} // namespace skyloom::app
