#include "core/FolderTraits.h"

#include "core/platform/linux/MountTable.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

namespace skyloom {

const char* const assumedFileSystem = "";

FolderTraits readFolderTraits(const std::string& path) {
    FolderTraits traits; // Linux has no iCloud Drive: isUbiquitous stays false.

    std::string fileSystem;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        std::string resolved = path;
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            resolved = real;
            std::free(real);
        }
        auto table = platform::MountTable::current();
        if (auto mount = table.find(major(info.st_dev), minor(info.st_dev), resolved))
            fileSystem = mount->fileSystem;
    }
    if (fileSystem.empty()) {
        struct statfs volume {};
        if (::statfs(path.c_str(), &volume) == 0)
            fileSystem = platform::fileSystemName(static_cast<unsigned long>(volume.f_type));
    }
    if (!fileSystem.empty()) {
        traits.fileSystem = fileSystem;
        traits.isLocalVolume = !platform::isNetworkFileSystem(fileSystem) &&
                               !platform::isVirtualFileSystem(fileSystem);
    }
    return traits;
}

PinError::VolumeProblem nonLocalProblem(const FolderTraits& traits) {
    return platform::isVirtualFileSystem(traits.fileSystem)
               ? PinError::VolumeProblem::virtualFileSystem
               : PinError::VolumeProblem::network;
}

} // namespace skyloom
