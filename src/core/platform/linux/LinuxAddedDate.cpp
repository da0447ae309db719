#include "core/platform/AddedDatePlatform.h"
#include "core/platform/PathText.h"
#include "core/platform/linux/MountTable.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/openat2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <limits>

// On Linux a folder's date-added is its access time: file managers can sort by
// it, and relatime/noatime leave a date in the future alone.

namespace skyloom::platform {

const bool datesBefore1970AreReal = true;

namespace {

constexpr int folderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Each component opened below the last, none followed when it is a link: for
// kernels without openat2.
UniqueFd openComponentByComponent(const std::string& path) {
    UniqueFd at(::open(path.starts_with('/') ? "/" : ".", folderFlags));
    std::size_t start = 0;
    while (at && start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start) {
            std::string name = path.substr(start, end - start);
            at.reset(::openat(at.get(), name.c_str(), folderFlags));
        }
        start = end + 1;
    }
    return at;
}

// The folder itself, with no symbolic link followed in any component. An
// O_PATH descriptor needs no read permission on the folder, only the search
// permission any path lookup needs.
UniqueFd openWithoutLinks(const std::string& path) {
    open_how how{};
    how.flags = folderFlags;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    UniqueFd fd(static_cast<int>(::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how)));
    if (!fd && (errno == ENOSYS || errno == EPERM)) // no openat2, or a seccomp filter refusing it
        fd = openComponentByComponent(path);
    return fd;
}

// Pseudo file systems: their times are made up on every read, never kept.
bool isVirtualFileSystem(unsigned long magic) {
    static constexpr std::array<unsigned long, 19> virtualTypes = {
        0x9fa0,     /* proc */ 0x62656572,      /* sysfs */ 0x1cd1,           /* devpts */
        0x27e0eb,   /* cgroup */ 0x63677270,    /* cgroup2 */ 0x64626720,     /* debugfs */
        0x74726163, /* tracefs */ 0x73636673,   /* securityfs */ 0x6165676c,  /* pstore */
        0xcafe4a11, /* bpf */ 0x62656570,       /* configfs */ 0x19800202,    /* mqueue */
        0x958458f6, /* hugetlbfs */ 0x42494e4d, /* binfmt_misc */ 0xde5e81e4, /* efivarfs */
        0xf97cff8c, /* selinuxfs */ 0x6e736673, /* nsfs */ 0x65735543,        /* fusectl */
        0x0187,                                                               /* autofs */
    };
    for (unsigned long type : virtualTypes)
        if (type == magic)
            return true;
    return false;
}

OpenedFolder openFolder(const std::string& path, bool forWriting) {
    if (hasNoFileSystemRepresentation(path))
        throw PinError::notFound();
    OpenedFolder folder{path, openWithoutLinks(path), 1.0};
    if (!folder.fd)
        throwReadError(errno);
    struct statfs volume {};
    if (forWriting && ::fstatfs(folder.fd.get(), &volume) == 0) {
        auto magic = static_cast<unsigned long>(volume.f_type);
        if (isVirtualFileSystem(magic))
            throw PinError::unsupportedVolume(PinError::VolumeProblem::virtualFileSystem);
        folder.granularity = timeGranularity(fileSystemName(magic));
    }
    return folder;
}

std::string procPath(const OpenedFolder& folder) {
    return "/proc/self/fd/" + std::to_string(folder.fd.get());
}

// Whether the folder carries the immutable or append-only flag, either of
// which makes the kernel answer EPERM.
bool isLocked(const OpenedFolder& folder) {
    struct statx info {};
    constexpr auto lockBits = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    if (::statx(folder.fd.get(), "", AT_EMPTY_PATH, 0, &info) == 0) {
        // An attribute bit means something only where the mask says it is supported.
        auto known = info.stx_attributes_mask & lockBits;
        if (info.stx_attributes & known)
            return true;
        if (known == lockBits)
            return false;
    }

    // Older kernels or file systems that do not report the attributes; the
    // ioctl needs a descriptor opened for reading, reopened from ours.
    UniqueFd readable(::open(procPath(folder).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!readable)
        return false;
    int flags = 0; // the kernel reads and writes an int here despite the macro's type
    return ::ioctl(readable.get(), FS_IOC_GETFLAGS, &flags) == 0 &&
           (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
}

TimeSpec readAccessTime(const OpenedFolder& folder) {
    struct statx info {};
    if (::statx(folder.fd.get(), "", AT_EMPTY_PATH, STATX_ATIME, &info) != 0)
        throwReadError(errno);
    if (!(info.stx_mask & STATX_ATIME))
        throw PinError::unsupportedVolume();
    return {info.stx_atime.tv_sec, info.stx_atime.tv_nsec};
}

void writeAccessTime(const OpenedFolder& folder, TimeSpec time) {
    if (time.seconds > std::numeric_limits<time_t>::max() ||
        time.seconds < std::numeric_limits<time_t>::min())
        throw PinError::unsupportedVolume();
    const struct timespec times[2] = {
        {static_cast<time_t>(time.seconds), static_cast<long>(time.nanoseconds)},
        {0, UTIME_OMIT}, // the modification time stays as it is
    };
    int result = ::utimensat(folder.fd.get(), "", times, AT_EMPTY_PATH);
    if (result != 0 && errno == EINVAL) {
        // Kernels before AT_EMPTY_PATH was taken here: the descriptor's own
        // /proc entry names the same folder.
        int first = errno;
        result = ::utimensat(AT_FDCWD, procPath(folder).c_str(), times, 0);
        if (result != 0 && errno == ENOENT)
            errno = first;
    }
    if (result != 0) {
        int error = errno;
        throw writeError(error, [&] { return isLocked(folder); });
    }
}

FolderKey folderKey(const OpenedFolder& folder) {
    struct statx info {};
    if (::statx(folder.fd.get(), "", AT_EMPTY_PATH, STATX_TYPE | STATX_INO | STATX_BTIME, &info) !=
        0)
        throwReadError(errno);
    FolderKey key{makedev(info.stx_dev_major, info.stx_dev_minor), info.stx_ino, std::nullopt};
    if (info.stx_mask & STATX_BTIME)
        key.birth = TimeSpec{info.stx_btime.tv_sec, info.stx_btime.tv_nsec};
    return key;
}

// Attribute calls on an O_PATH descriptor fail with EBADF on kernels that
// do not take them there; the descriptor's /proc entry names the same folder.
template <typename OnFd, typename OnPath>
long throughFd(const OpenedFolder& folder, OnFd onFd, OnPath onPath) {
    long result = onFd(folder.fd.get());
    if (result < 0 && errno == EBADF)
        result = onPath(procPath(folder).c_str());
    return result;
}

bool keepsNoUserAttributes(int error) {
    // EPERM: user attributes are refused on this kind of item (a sticky
    // folder of someone else's); either way the store alone keeps the date.
    return error == ENOTSUP || error == EOPNOTSUPP || error == EPERM || error == EACCES;
}

std::optional<std::string> readMark(const OpenedFolder& folder) {
    char buffer[128];
    long size = throughFd(
        folder, [&](int fd) { return ::fgetxattr(fd, earlierMarkName, buffer, sizeof buffer); },
        [&](const char* path) { return ::getxattr(path, earlierMarkName, buffer, sizeof buffer); });
    if (size < 0)
        return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(size));
}

bool writeMark(const OpenedFolder& folder, const std::string& data) {
    long result = throughFd(
        folder,
        [&](int fd) { return ::fsetxattr(fd, earlierMarkName, data.data(), data.size(), 0); },
        [&](const char* path) {
            return ::setxattr(path, earlierMarkName, data.data(), data.size(), 0);
        });
    if (result == 0)
        return true;
    int error = errno;
    if (keepsNoUserAttributes(error))
        return false;
    throw writeError(error, [] { return false; });
}

void removeMark(const OpenedFolder& folder) {
    throughFd(
        folder, [&](int fd) { return ::fremovexattr(fd, earlierMarkName); },
        [&](const char* path) { return ::removexattr(path, earlierMarkName); });
}

// File managers ignore access events; the same mode written back is an
// attribute change they re-sort on.
void announce(const OpenedFolder& folder) {
    struct statx info {};
    if (::statx(folder.fd.get(), "", AT_EMPTY_PATH, STATX_MODE, &info) != 0)
        return;
    const mode_t mode = info.stx_mode & 07777;
    throughFd(
        folder, [&](int fd) { return ::fchmod(fd, mode); },
        [&](const char* path) { return ::chmod(path, mode); });
}

} // namespace

const AddedDatePrimitives& systemAddedDatePrimitives() {
    static const AddedDatePrimitives primitives{openFolder, readAccessTime, writeAccessTime,
                                                folderKey,  readMark,       writeMark,
                                                removeMark, announce};
    return primitives;
}

} // namespace skyloom::platform
