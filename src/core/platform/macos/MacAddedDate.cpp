#include "core/platform/AddedDatePlatform.h"
#include "core/platform/DarwinAddedDate.h"
#include "core/platform/PathText.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/attr.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace skyloom::platform {

// An absent date-added reads as 1970; a read 0 is not trusted as a date.
const bool datesBefore1970AreReal = false;

namespace {

static_assert(darwin::attrBitMapCount == ATTR_BIT_MAP_COUNT);
static_assert(darwin::attrCommonAddedTime == ATTR_CMN_ADDEDTIME);
static_assert(darwin::attrCommonReturnedAttrs == ATTR_CMN_RETURNED_ATTRS);
static_assert(darwin::optionNoFollow == FSOPT_NOFOLLOW);
static_assert(sizeof(struct attrlist) == sizeof(darwin::AttributeList));
static_assert(sizeof(struct timespec) == darwin::timeSpecSize);

struct attrlist systemList(const darwin::AttributeList& list) {
    struct attrlist out {};
    out.bitmapcount = list.bitmapcount;
    out.reserved = list.reserved;
    out.commonattr = list.commonattr;
    out.volattr = list.volattr;
    out.dirattr = list.dirattr;
    out.fileattr = list.fileattr;
    out.forkattr = list.forkattr;
    return out;
}

int callGetattrlist(const char* path, darwin::AttributeList& list, void* buffer, std::size_t size,
                    std::uint32_t options) {
    struct attrlist request = systemList(list);
    return ::getattrlist(path, &request, buffer, size, options) == 0 ? 0 : errno;
}

int callSetattrlist(const char* path, darwin::AttributeList& list, void* buffer, std::size_t size,
                    std::uint32_t options) {
    struct attrlist request = systemList(list);
    return ::setattrlist(path, &request, buffer, size, options) == 0 ? 0 : errno;
}

bool isUserImmutable(const char* path) {
    struct stat info {};
    return ::lstat(path, &info) == 0 && (info.st_flags & UF_IMMUTABLE) != 0;
}

const darwin::SystemCalls& systemCalls() {
    static const darwin::SystemCalls calls{callGetattrlist, callSetattrlist, isUserImmutable};
    return calls;
}

// The attribute calls take the path with FSOPT_NOFOLLOW; the handle carries
// the volume's granularity, and for writing a descriptor of the folder
// itself, on which its identity and its mark are read and written.
OpenedFolder openFolder(const std::string& path, bool forWriting) {
    OpenedFolder folder{path, UniqueFd(), 1.0};
    if (forWriting) {
        folder.fd.reset(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder.fd && errno != EACCES)
            throwReadError(errno);
    }
    struct statfs volume {};
    if (forWriting && ::statfs(path.c_str(), &volume) == 0)
        folder.granularity = timeGranularity(lowerCase(volume.f_fstypename));
    return folder;
}

// The folder itself, never a link at its path, as the attribute calls take it.
FolderKey folderKey(const OpenedFolder& folder) {
    struct stat info {};
    int result = folder.fd ? ::fstat(folder.fd.get(), &info) : ::lstat(folder.path.c_str(), &info);
    if (result != 0)
        throwReadError(errno);
    if (!S_ISDIR(info.st_mode))
        throw PinError::notFound();
    return FolderKey{static_cast<std::uint64_t>(info.st_dev),
                     static_cast<std::uint64_t>(info.st_ino),
                     TimeSpec{info.st_birthtimespec.tv_sec, info.st_birthtimespec.tv_nsec}};
}

// macOS's attribute calls take a position (resource forks only) and options.
std::optional<std::string> readMark(const OpenedFolder& folder) {
    char buffer[128];
    ssize_t size = folder.fd
                       ? ::fgetxattr(folder.fd.get(), earlierMarkName, buffer, sizeof buffer, 0, 0)
                       : ::getxattr(folder.path.c_str(), earlierMarkName, buffer, sizeof buffer, 0,
                                    XATTR_NOFOLLOW);
    if (size < 0)
        return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(size));
}

bool writeMark(const OpenedFolder& folder, const std::string& data) {
    int result = folder.fd
                     ? ::fsetxattr(folder.fd.get(), earlierMarkName, data.data(), data.size(), 0, 0)
                     : ::setxattr(folder.path.c_str(), earlierMarkName, data.data(), data.size(), 0,
                                  XATTR_NOFOLLOW);
    if (result == 0)
        return true;
    int error = errno;
    if (error == ENOTSUP || error == EOPNOTSUPP || error == EPERM || error == EACCES)
        return false;
    throw writeError(error, [] { return false; });
}

void removeMark(const OpenedFolder& folder) {
    if (folder.fd)
        ::fremovexattr(folder.fd.get(), earlierMarkName, 0);
    else
        ::removexattr(folder.path.c_str(), earlierMarkName, XATTR_NOFOLLOW);
}

} // namespace

const AddedDatePrimitives& systemAddedDatePrimitives() {
    static const AddedDatePrimitives primitives{
        openFolder,
        [](const OpenedFolder& folder) {
            return darwin::readAddedTime(systemCalls(), folder.path);
        },
        [](const OpenedFolder& folder, TimeSpec time) {
            darwin::writeAddedTime(systemCalls(), folder.path, time);
        },
        folderKey, readMark, writeMark, removeMark,
        // Finder follows the date-added itself.
        nullptr};
    return primitives;
}

} // namespace skyloom::platform
