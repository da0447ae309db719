#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace skyloom {

// The pin and unpin entries in the context menus of the Linux file managers,
// for the current user. Each runs `skyloom pin` or `skyloom unpin` with
// SKYLOOM_ENTRY set to its file manager, handing the selection over in the
// form that file manager tells it exactly (see EntrySelection); no shell ever
// reads a name as code.
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
    Outcome writeFiles(const char* fileManager, const std::string& folder,
                       const std::vector<std::pair<std::string, std::string>>& files,
                       mode_t mode) const;
    Outcome writeDolphin(const std::string& program) const;
    Outcome writeScripts(const char* fileManager, const std::string& folder,
                         const std::string& program) const;
    Outcome writeNemo(const std::string& program) const;
    Outcome writeThunar(const std::string& program) const;
    Outcome removeFiles(const char* fileManager, const std::string& folder) const;
    Outcome removeThunar() const;

    Locations locations_;
};

} // namespace skyloom
