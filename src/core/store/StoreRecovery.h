#pragma once

#include "core/store/ModelContainer.h"
#include "core/store/StoreError.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace skyloom {

// Where the store lives: the Application Support directory ($XDG_DATA_HOME,
// else ~/.local/share), then "brindle-engineering.Skyloom.direct", then
// "default.store". Creates the directory private to the user (0700) and
// narrows one that is wider; failing to is ignored.
std::string defaultStoreURL();

// Opens the store and never fails: a store with known damage (not a
// database, corrupt, failed check, another application's file) is moved
// aside and started anew (storeWasReset becomes true). Any other failure
// (busy, permission, I/O, full disk, a newer schema, an error not known to
// mean damage) leaves the files as they are and the process runs on an
// in-memory store, which changes no folder, as it does when even a new store
// cannot be opened. Waits up to `lockWait` for another process that holds
// the store (its lock file, or the database itself), calling `whileWaiting`
// once after StoreLock::noticeDelay, and opens it once it is free: a store
// that is only busy for a while is never answered from memory. Once
// `stopWaiting` says so the wait ends and the store counts as busy.
std::unique_ptr<ModelContainer>
openStore(const std::string& storePath, std::chrono::milliseconds lockWait = StoreLock::defaultWait,
          const std::function<void()>& whileWaiting = {},
          const std::function<bool()>& stopWaiting = {});

// The process's one container, opened by openStore on first use.
ModelContainer& sharedModelContainer();

// True once openStore had to move the store aside (or tried to). Never cleared.
bool storeWasReset();

// How the last openStore ended: the store opened, opened after a reset, or
// not available at all so that the process runs on an in-memory store.
enum class StoreState { opened, reset, unavailable };
StoreState storeState();

// Why the process runs in memory; empty unless storeState() is unavailable.
std::optional<StoreOpenError::Reason> storeUnavailableReason();

// The texts that tell the user: the store was started anew, or it could not
// be opened (and why, when a newer Skyloom wrote it).
std::string storeResetMessage();
std::string storeUnavailableMessage();

// Moving aside and the hooks around the shared container.
class StoreRecovery {
public:
    // Moves the store file and its "-shm", "-wal" and "-journal" companions,
    // those that exist, to "<store>.corrupt-<stamp>" plus their suffix. The
    // stamp is the current time in whole seconds, raised by one until none of
    // the names is taken, so an earlier moved-aside file is never overwritten
    // and the files always share one stamp. A failed move is skipped.
    // Returns the stamp used.
    static std::int64_t moveAside(const std::string& storePath);

    // How long sharedModelContainer() waits for another process holding the
    // store, what it calls once the wait grows long, and what may end the
    // wait early (see openStore). Only before its first use.
    static void setLockWait(std::chrono::milliseconds wait, std::function<void()> whileWaiting,
                            std::function<bool()> stopWaiting = {});

    // For tests: closes the shared container and clears the process flags,
    // so the next sharedModelContainer() opens again. References to the old
    // container and its context become invalid.
    static void resetForTesting();
};

} // namespace skyloom
