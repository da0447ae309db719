#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace skyloom {

// The advisory lock that makes one process the owner of a store: an exclusive
// flock on a lock file beside the store ("<store>.lock"), held while the
// object lives. The lock file itself stays; removing it would let two
// processes lock two different files.
class StoreLock {
public:
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    // Takes the lock of the store at `storePath`, waiting up to `wait` for a
    // process that holds it (a command line that runs briefly). Throws
    // StoreOpenError: busy when another process keeps it, or the reason the
    // lock file cannot be opened.
    static std::unique_ptr<StoreLock> acquire(const std::string& storePath,
                                              std::chrono::milliseconds wait = defaultWait);

    static std::string lockPath(const std::string& storePath) { return storePath + ".lock"; }

    static constexpr std::chrono::milliseconds defaultWait{2000};

private:
    explicit StoreLock(int fd) : fd_(fd) {}
    int fd_;
};

} // namespace skyloom
