#include "core/platform/FolderAccess.h"

#include "core/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace skyloom::platform {

FolderAccess folderAccess(const std::string& path) {
    // O_PATH needs no permission on the folder itself, only entry to the
    // folders above it: exactly what setting its times needs besides ownership.
    UniqueFd folder(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return {errno == EACCES ? AccessProblem::noPermission : AccessProblem::none, {}};
    struct statvfs volume {};
    if (::fstatvfs(folder.get(), &volume) == 0 && (volume.f_flag & ST_RDONLY))
        return {AccessProblem::readOnly, {}};
    struct stat info {};
    // Root may set any folder's times (CAP_FOWNER); everyone else only their own.
    if (::fstat(folder.get(), &info) == 0 && ::geteuid() != 0 && info.st_uid != ::geteuid()) {
        std::string owner = std::to_string(info.st_uid);
        if (const passwd* entry = ::getpwuid(info.st_uid); entry && entry->pw_name)
            owner = entry->pw_name;
        return {AccessProblem::notOwner, owner};
    }
    return {};
}

} // namespace skyloom::platform
