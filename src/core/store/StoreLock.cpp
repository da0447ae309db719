#include "core/store/StoreLock.h"

#include "core/store/StoreError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace skyloom {

StoreLock::~StoreLock() {
    // Closing the descriptor releases the flock.
    ::close(fd_);
}

std::unique_ptr<StoreLock> StoreLock::acquire(const std::string& storePath,
                                              std::chrono::milliseconds wait) {
    const std::string path = lockPath(storePath);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    int error = errno;
    if (fd < 0 && (error == EACCES || error == EROFS)) {
        // flock needs no write access to a lock file that already exists.
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0 && errno != ENOENT)
            error = errno;
    }
    if (fd < 0) {
        throw StoreOpenError(StoreOpenError::classifyErrno(error),
                             "cannot open the store lock " + path + ": " + std::strerror(error), 0,
                             error);
    }

    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return std::unique_ptr<StoreLock>(new StoreLock(fd));
        int lockError = errno;
        if (lockError == EINTR)
            continue;
        if (lockError != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            auto reason = lockError == EWOULDBLOCK ? StoreOpenError::Reason::busy
                                                   : StoreOpenError::classifyErrno(lockError);
            throw StoreOpenError(reason,
                                 lockError == EWOULDBLOCK
                                     ? "the store is in use by another process"
                                     : "cannot lock " + path + ": " + std::strerror(lockError),
                                 0, lockError);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace skyloom
