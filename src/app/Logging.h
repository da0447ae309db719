#pragma once

#include <QLoggingCategory>

namespace skyloom::app {

// The app's diagnostics, by area, so that QT_LOGGING_RULES can turn each on
// or off ("skyloom.shell.debug=true"). Warnings are on by default and go to
// standard error, which a systemd user session hands to the journal.
inline const QLoggingCategory& lcStore() {
    static const QLoggingCategory category("skyloom.store", QtWarningMsg);
    return category;
}
inline const QLoggingCategory& lcShell() {
    static const QLoggingCategory category("skyloom.shell", QtWarningMsg);
    return category;
}
inline const QLoggingCategory& lcViews() {
    static const QLoggingCategory category("skyloom.views", QtWarningMsg);
    return category;
}

} // namespace skyloom::app
