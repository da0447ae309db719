#pragma once

#include <QString>

#include <cstdint>

namespace skyloom::app {

// The app's one settings file, ~/.config/brindle-engineering/Skyloom.ini
// ($XDG_CONFIG_HOME when set), and every key in it with its type.
class Preferences {
public:
    // Where the file is.
    static QString filePath();

    // Whether the welcome window was dealt with.
    static bool hasSeenOnboarding();
    static void setHasSeenOnboarding(bool value);
    // Whether the file-manager entries were written once (the user's removal
    // of them sticks).
    static bool fileManagerEntriesWritten();
    static void setFileManagerEntriesWritten(bool value);
    // The update checker's last check (seconds since 1970, 0 for never) and
    // its interval in seconds.
    static std::int64_t lastUpdateCheck();
    static std::int64_t updateCheckInterval(std::int64_t fallback);

    // Earlier versions kept part of the settings in Skyloom.conf beside the
    // file: its keys move over (never over a value the file has already)
    // and it is removed. Runs once at start, before anything reads settings.
    static void migrate();
};

// The welcome window's key, as the views use it.
inline bool hasSeenOnboarding() {
    return Preferences::hasSeenOnboarding();
}
inline void setHasSeenOnboarding(bool value) {
    Preferences::setHasSeenOnboarding(value);
}

} // namespace skyloom::app
