#include "core/integration/EntryFiles.h"

#include "core/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace skyloom::EntryFiles {
namespace {

constexpr mode_t othersWrite = S_IWGRP | S_IWOTH;

// Takes group and world write off the folder open at `fd` when it is ours.
bool tighten(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    if (info.st_uid != ::geteuid() || (info.st_mode & othersWrite) == 0)
        return true;
    return ::fchmod(fd, info.st_mode & 07777 & ~othersWrite) == 0;
}

} // namespace

ReadResult readRegular(const std::string& path) {
    // O_NONBLOCK: opening a FIFO with no writer, or a device, returns at once.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {ReadStatus::absent, {}};
        // A link in the last place is not a file of ours to read.
        return {errno == ELOOP ? ReadStatus::notRegular : ReadStatus::failed, {}};
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return {ReadStatus::failed, {}};
    if (!S_ISREG(info.st_mode))
        return {ReadStatus::notRegular, {}};
    ReadResult result{ReadStatus::read, {}};
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {ReadStatus::failed, {}};
        if (n == 0)
            break;
        result.text.append(buffer, static_cast<std::size_t>(n));
    }
    return result;
}

bool makeFolders(const std::string& folder) {
    if (folder.empty() || folder[0] != '/')
        return false;
    std::size_t at = 1;
    for (;;) {
        std::size_t slash = folder.find('/', at);
        std::string part = folder.substr(0, slash);
        bool last = slash == std::string::npos || slash + 1 >= folder.size();
        if (!part.empty() && part != "/") {
            bool created = ::mkdir(part.c_str(), 0755) == 0;
            if (!created && errno != EEXIST)
                return false;
            if (created || last) {
                UniqueFd fd(::open(part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                // The last folder may be a link the user made (to dotfiles,
                // say); it is left as it is, as long as it leads to a folder.
                if (!fd && last && errno == ELOOP)
                    fd.reset(::open(part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                if (!fd || !tighten(fd.get()))
                    return false;
            }
        }
        if (last)
            return true;
        at = slash + 1;
    }
}

void replace(const std::string& path, const std::string& content, mode_t mode) {
    std::string temporary = path + ".skyloom-new";
    ::unlink(temporary.c_str());
    UniqueFd fd(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd)
        throw std::system_error(errno, std::generic_category());
    auto fail = [&] {
        int code = errno;
        ::unlink(temporary.c_str());
        throw std::system_error(code, std::generic_category());
    };
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t n = ::write(fd.get(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail();
        done += static_cast<std::size_t>(n);
    }
    if (::fchmod(fd.get(), mode & 07777 & ~othersWrite) != 0 || ::fsync(fd.get()) != 0)
        fail();
    fd.reset();
    if (::rename(temporary.c_str(), path.c_str()) != 0)
        fail();
}

} // namespace skyloom::EntryFiles
