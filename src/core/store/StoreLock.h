#pragma once

#include "core/UniqueFd.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace skyloom {

// The advisory lock that makes one process the owner of a store: an exclusive
// flock on a lock file beside the store ("<store>.lock"), held while the
// object lives. The lock file itself stays; removing it would let two
// processes lock two different files.
class StoreLock {
public:
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    // Takes the lock of the store at `storePath`, waiting up to `wait` for a
    // process that holds it. `whileWaiting`, when given, is called once when
    // the wait has lasted `noticeDelay`, so a person can be told; the wait
    // ends early, as busy, once `stopWaiting` says so (asked every
    // `pollInterval`). Throws StoreOpenError: busy when another process keeps
    // it, or the reason the lock file cannot be opened.
    static std::unique_ptr<StoreLock> acquire(const std::string& storePath,
                                              std::chrono::milliseconds wait = defaultWait,
                                              const std::function<void()>& whileWaiting = {},
                                              const std::function<bool()>& stopWaiting = {});

    static std::string lockPath(const std::string& storePath) { return storePath + ".lock"; }

    // A short note kept in the lock file: how the store file looked when
    // its owner last closed it (see StoreSchema::fileStamp). Empty when
    // there is none or it cannot be read; writing fails silently, since a
    // missing note only costs a check.
    std::string note() const;
    void setNote(const std::string& text);

    // A command line holds the store for seconds at most, so the app and
    // other command lines wait their turn rather than run without the
    // user's list; a minute means something is wrong, and is said so.
    static constexpr std::chrono::milliseconds defaultWait{60'000};
    static constexpr std::chrono::milliseconds commandLineWait = defaultWait;
    static constexpr std::chrono::milliseconds noticeDelay{1000};
    static constexpr std::chrono::milliseconds pollInterval{20};

private:
    explicit StoreLock(UniqueFd fd) : fd_(std::move(fd)) {}
    // Closing the descriptor releases the flock.
    UniqueFd fd_;
};

} // namespace skyloom
