#pragma once

#include <optional>
#include <string>
#include <vector>

namespace skyloom {

// The pin and unpin entries in the context menus of the Linux file managers,
// for the current user. Each passes the selected folders to `skyloom pin` or
// `skyloom unpin` as arguments, so no shell ever reads a folder's name.
class FileManagerEntries {
public:
    // Where the user's desktop keeps its files.
    struct Locations {
        std::string dataHome;                // $XDG_DATA_HOME, else ~/.local/share
        std::string configHome;              // $XDG_CONFIG_HOME, else ~/.config
        std::vector<std::string> configDirs; // $XDG_CONFIG_DIRS, else /etc/xdg

        static Locations forCurrentUser();
    };

    // What happened for one file manager.
    struct Outcome {
        std::string fileManager;          // "Dolphin", "Nautilus", ...
        std::vector<std::string> files;   // written, or removed
        std::optional<std::string> error; // a translated text, when it failed
    };

    explicit FileManagerEntries(Locations locations = Locations::forCurrentUser());

    // Writes every entry so that it runs `program`, replacing earlier ones.
    std::vector<Outcome> write(const std::string& program) const;
    // Takes every one of our entries away again, and nothing else.
    std::vector<Outcome> remove() const;

    // The `skyloom` command line installed beside the running program.
    static std::string installedProgram();

private:
    Outcome writeDolphin(const std::string& program) const;
    Outcome writeScripts(const char* fileManager, const std::string& folder,
                         const std::string& program) const;
    Outcome writeThunar(const std::string& program) const;
    Outcome removeFiles(const char* fileManager, const std::string& folder) const;
    Outcome removeThunar() const;

    Locations locations_;
};

} // namespace skyloom
