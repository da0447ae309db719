#pragma once

#include <functional>
#include <string>
#include <vector>

namespace skyloom {

// What a file-manager entry asks for: the selected items, told the way the
// file manager tells them best. Nautilus and Caja hand a script only names
// relative to their own working folder, and nothing at all for items with no
// local path; their environment, though, carries the exact selection as URIs.
// Nemo's actions hand over URIs. A URI of a local file names it exactly; one
// with no local file behind it (the Trash, ftp://, an smb:// share not mounted
// through FUSE) names no folder to pin.
struct EntrySelection {
    // The paths to act on, in the order selected.
    std::vector<std::string> paths;
    // One line ("name — reason\n") for each selected item with no local path.
    std::string failures;

    // The variable the entries set to the file manager that runs them
    // ("dolphin", "nautilus", "nemo", "caja", "thunar").
    static constexpr const char* entryVariable = "SKYLOOM_ENTRY";

    // `arguments` as the command line received them; `environment` looks a
    // variable up (nullptr when unset). Outside an entry the arguments are
    // taken as they are.
    static EntrySelection read(const std::vector<std::string>& arguments,
                               const std::function<const char*(const char*)>& environment);
    static EntrySelection read(const std::vector<std::string>& arguments);

    // The local path a file:// URI names; empty for any other URI or a
    // malformed one.
    static std::string localPath(const std::string& uri);
};

} // namespace skyloom
