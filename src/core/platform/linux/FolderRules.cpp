#include "core/platform/FolderRules.h"

#include "core/platform/ApplicationSupport.h"
#include "core/platform/FolderIdentity.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace skyloom::platform {

const bool namesAreCanonicallyEquivalent = false;
const bool identityGivesAddedDate = true;

namespace {

bool isBelow(std::string_view path, std::string_view folder) {
    return path.size() > folder.size() + 1 && path.starts_with(folder) &&
           path[folder.size()] == '/';
}

// Whether `path` lies below "<dir>/<trash>/files" for a folder <dir> of any depth.
bool isBelowTrashOnAnyVolume(std::string_view path, const std::string& trashFiles) {
    for (auto at = path.find(trashFiles); at != std::string_view::npos;
         at = path.find(trashFiles, at + 1)) {
        auto end = at + trashFiles.size();
        if (end < path.size() && path[end] == '/' && end + 1 < path.size())
            return true;
    }
    return false;
}

} // namespace

// The freedesktop Trash: the home trash under $XDG_DATA_HOME, and one per
// volume at its top, either /.Trash-$UID or /.Trash/$UID (shared, sticky).
bool isInTrash(std::string_view path) {
    // Asked for every pin on every re-apply: most paths have no trash in them.
    const bool homeTrash = path.find("/Trash/files/") != std::string_view::npos;
    if (!homeTrash && path.find("/.Trash") == std::string_view::npos)
        return false;
    if (homeTrash && isBelow(path, applicationSupportDirectory() + "/Trash/files"))
        return true;
    const std::string uid = std::to_string(::getuid());
    return isBelowTrashOnAnyVolume(path, "/.Trash-" + uid + "/files") ||
           isBelowTrashOnAnyVolume(path, "/.Trash/" + uid + "/files");
}

std::optional<FolderIdentity> folderIdentity(const std::string& path) {
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_TYPE | STATX_INO | STATX_BTIME | STATX_ATIME,
                &info) != 0 ||
        !S_ISDIR(info.stx_mode))
        return std::nullopt;
    FolderIdentity identity{makedev(info.stx_dev_major, info.stx_dev_minor), info.stx_ino,
                            std::nullopt, std::nullopt};
    if (info.stx_mask & STATX_BTIME)
        identity.birth = TimeSpec{info.stx_btime.tv_sec, info.stx_btime.tv_nsec};
    if (info.stx_mask & STATX_ATIME)
        identity.addedDate = joinDate({info.stx_atime.tv_sec, info.stx_atime.tv_nsec});
    return identity;
}

} // namespace skyloom::platform
