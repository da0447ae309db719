#pragma once

#include <string>

namespace skyloom::platform {

// Why this user may not change a folder's date, as far as the folder and its
// volume tell.
enum class AccessProblem {
    none,         // nothing found that stops a write
    notOwner,     // another user owns it: only the owner may set its dates
    noPermission, // the folder cannot be reached (a folder above refuses entry)
    readOnly,     // its volume is mounted read-only
};

struct FolderAccess {
    AccessProblem problem = AccessProblem::none;
    std::string owner; // the owner's user name (or number) for notOwner
};

// Looks at the folder without changing it. Never fails: what cannot be read
// counts as no problem found.
FolderAccess folderAccess(const std::string& path);

} // namespace skyloom::platform
