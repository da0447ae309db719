#include "core/store/StoreLock.h"

#include "core/store/StoreError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace skyloom {

std::unique_ptr<StoreLock> StoreLock::acquire(const std::string& storePath,
                                              std::chrono::milliseconds wait,
                                              const std::function<void()>& whileWaiting,
                                              const std::function<bool()>& stopWaiting) {
    const std::string path = lockPath(storePath);
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    int error = errno;
    if (fd) {
        // One made under an older, wider umask is narrowed: it is ours alone.
        struct stat info {};
        if (::fstat(fd.get(), &info) == 0 && info.st_uid == ::geteuid() &&
            (info.st_mode & 0177) != 0)
            ::fchmod(fd.get(), 0600);
    } else if (error == EACCES || error == EROFS) {
        // flock needs no write access to a lock file that already exists.
        fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (!fd && errno != ENOENT)
            error = errno;
    }
    if (!fd) {
        throw StoreOpenError(StoreOpenError::classifyErrno(error),
                             "cannot open the store lock " + path + ": " + std::strerror(error), 0,
                             error);
    }

    const auto start = std::chrono::steady_clock::now();
    bool told = false;
    for (;;) {
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
            return std::unique_ptr<StoreLock>(new StoreLock(std::move(fd)));
        int lockError = errno;
        if (lockError == EINTR)
            continue;
        const auto waited = std::chrono::steady_clock::now() - start;
        const bool stops = lockError == EWOULDBLOCK && stopWaiting && stopWaiting();
        if (lockError != EWOULDBLOCK || waited >= wait || stops) {
            auto reason = lockError == EWOULDBLOCK ? StoreOpenError::Reason::busy
                                                   : StoreOpenError::classifyErrno(lockError);
            throw StoreOpenError(reason,
                                 lockError == EWOULDBLOCK
                                     ? "the store is in use by another process"
                                     : "cannot lock " + path + ": " + std::strerror(lockError),
                                 0, lockError);
        }
        if (!told && whileWaiting && waited >= noticeDelay) {
            told = true;
            whileWaiting();
        }
        std::this_thread::sleep_for(pollInterval);
    }
}

std::string StoreLock::note() const {
    char buffer[256];
    ssize_t count = ::pread(fd_.get(), buffer, sizeof buffer, 0);
    return count > 0 ? std::string(buffer, std::size_t(count)) : std::string();
}

void StoreLock::setNote(const std::string& text) {
    // Never synced: a note lost in a crash only costs one check more.
    if (::ftruncate(fd_.get(), 0) == 0)
        (void)!::pwrite(fd_.get(), text.data(), text.size(), 0);
}

} // namespace skyloom
