#include "core/platform/AddedDatePlatform.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>

// On Linux a folder's date-added is its access time: file managers can sort by
// it, and relatime/noatime leave a date in the future alone.

namespace skyloom::platform {
namespace {

bool hasNoFileSystemRepresentation(const std::string& path) {
    return path.find('\0') != std::string::npos;
}

// Whether the item itself (a link is not followed) carries the immutable or
// append-only flag, either of which makes the kernel answer EPERM.
bool isLocked(const std::string& path) {
    struct statx info {};
    constexpr auto lockBits = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, 0, &info) == 0) {
        // An attribute bit means something only where the mask says it is supported.
        auto known = info.stx_attributes_mask & lockBits;
        if (info.stx_attributes & known)
            return true;
        if (known == lockBits)
            return false;
    }

    // Older kernels or file systems that do not report the attributes.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0; // the kernel reads and writes an int here despite the macro's type
    bool known = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    ::close(fd);
    return known && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
}

TimeSpec readAccessTime(const std::string& path) {
    if (hasNoFileSystemRepresentation(path))
        throw PinError::notFound();
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_ATIME, &info) != 0)
        throwReadError(errno);
    if (!(info.stx_mask & STATX_ATIME))
        throw PinError::unsupportedVolume();
    return {info.stx_atime.tv_sec, info.stx_atime.tv_nsec};
}

void writeAccessTime(const std::string& path, TimeSpec time) {
    if (hasNoFileSystemRepresentation(path))
        throw PinError::notFound();
    if (time.seconds > std::numeric_limits<time_t>::max() ||
        time.seconds < std::numeric_limits<time_t>::min())
        throw PinError::unsupportedVolume();
    const struct timespec times[2] = {
        {static_cast<time_t>(time.seconds), static_cast<long>(time.nanoseconds)},
        {0, UTIME_OMIT}, // the modification time stays as it is
    };
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        int error = errno;
        throw writeError(error, [&] { return isLocked(path); });
    }
}

} // namespace

const AddedDatePrimitives& systemAddedDatePrimitives() {
    static const AddedDatePrimitives primitives{readAccessTime, writeAccessTime};
    return primitives;
}

} // namespace skyloom::platform
