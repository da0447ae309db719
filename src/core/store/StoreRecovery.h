#pragma once

#include "core/store/ModelContainer.h"
#include "core/store/StoreError.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace skyloom {

// Where the store lives: the Application Support directory ($XDG_DATA_HOME,
// else ~/.local/share), then "brindle-engineering.Skyloom.direct", then
// "default.store". Creates the directory; failing to is ignored.
std::string defaultStoreURL();

// The container of schema 1.0.0 for the store file; throws StoreOpenError.
std::unique_ptr<ModelContainer> makeContainer(const std::string& storePath);

// Opens the store and never fails: a store with damaged or incompatible
// content is moved aside and started anew (storeWasReset becomes true); a
// store that is busy or cannot be reached (permission, I/O, full disk) is
// left as it is and the process runs on an in-memory store, as it does when
// even a new store cannot be opened. The caller keeps the container.
std::unique_ptr<ModelContainer> openStore(const std::string& storePath);

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
// be opened and this run's changes will not be kept.
std::string storeResetMessage();
std::string storeUnavailableMessage();

// Moving aside and the hooks around the shared container.
class StoreRecovery {
public:
    // Moves the store file and its "-shm" and "-wal" companions, those that
    // exist, to "<store>.corrupt-<stamp>" plus their suffix. The stamp is the
    // current time in whole seconds, raised by one until none of the three
    // names is taken, so an earlier moved-aside file is never overwritten and
    // the three files always share one stamp. A failed move is skipped.
    // Returns the stamp used.
    static std::int64_t moveAside(const std::string& storePath);

    // Makes sharedModelContainer() open `storePath` instead of
    // defaultStoreURL(). Only before its first use; throws std::logic_error after.
    static void setSharedStorePath(const std::string& storePath);

    // For tests: closes the shared container and clears the process flags,
    // so the next sharedModelContainer() opens again. References to the old
    // container and its context become invalid.
    static void resetForTesting();
};

} // namespace skyloom
