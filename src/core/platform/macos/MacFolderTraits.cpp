#include "core/FolderTraits.h"

#include "core/platform/PathText.h"

#include <pwd.h>
#include <sys/mount.h>
#include <sys/param.h>
#include <unistd.h>

namespace skyloom {

// A volume that reports no type counts as APFS.
const char* const assumedFileSystem = "apfs";

namespace {

// iCloud Drive keeps its items under ~/Library/Mobile Documents.
bool isInICloudDrive(const std::string& path) {
    const passwd* user = ::getpwuid(::getuid());
    if (!user || !user->pw_dir || !*user->pw_dir)
        return false;
    std::string root = std::string(user->pw_dir) + "/Library/Mobile Documents/";
    return path.size() > root.size() && path.compare(0, root.size(), root) == 0;
}

} // namespace

FolderTraits readFolderTraits(const std::string& path) {
    FolderTraits traits;
    traits.isUbiquitous = isInICloudDrive(path);
    struct statfs volume {};
    if (::statfs(path.c_str(), &volume) == 0) {
        traits.isLocalVolume = (volume.f_flags & MNT_LOCAL) != 0;
        if (volume.f_fstypename[0] != '\0')
            traits.fileSystem = platform::lowerCase(volume.f_fstypename);
    }
    return traits;
}

PinError::VolumeProblem nonLocalProblem(const FolderTraits&) {
    return PinError::VolumeProblem::network;
}

} // namespace skyloom
