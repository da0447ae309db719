#include "core/platform/FolderRules.h"

#include "core/platform/ApplicationSupport.h"
#include "core/platform/FolderIdentity.h"

#include <sys/stat.h>

namespace skyloom::platform {

const bool namesAreCanonicallyEquivalent = true;
// The date-added is no part of stat(); it takes a getattrlist call of its own.
const bool identityGivesAddedDate = false;

// The user's ~/.Trash, the per-volume /.Trashes, and any ".Trash" folder.
bool isInTrash(std::string_view path) {
    const std::string home = homeDirectory() + "/.Trash/";
    return path.starts_with(home) || path.find("/.Trash/") != std::string_view::npos ||
           path.find("/.Trashes/") != std::string_view::npos;
}

std::optional<FolderIdentity> folderIdentity(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return std::nullopt;
    return FolderIdentity{
        static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
        TimeSpec{info.st_birthtimespec.tv_sec, info.st_birthtimespec.tv_nsec}, std::nullopt};
}

} // namespace skyloom::platform
