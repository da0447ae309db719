#pragma once

#include <QString>

#include <optional>

namespace skyloom::app {

// Launch at login through the XDG autostart entry that starts
// `skyloom --login-item`. Enabled means the entry exists and is not hidden.
class LaunchAtLogin {
public:
    enum class Status { notRegistered, enabled };

    // The entry under $XDG_CONFIG_HOME/autostart (or ~/.config/autostart),
    // starting the command line installed beside `program`'s folder.
    explicit LaunchAtLogin(QString programDirectory);
    LaunchAtLogin();

    static QString entryPath();
    QString command() const;

    Status status() const;
    // Writes the entry; the error text when it could not.
    std::optional<QString> registerEntry() const;
    // Removes the entry (nothing to do when absent); the error text when it could not.
    std::optional<QString> unregisterEntry() const;

private:
    QString programDirectory_;
};

} // namespace skyloom::app
