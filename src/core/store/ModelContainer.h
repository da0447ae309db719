#pragma once

#include "core/store/ModelContext.h"
#include "core/store/StoreError.h"
#include "core/store/StoreLock.h"

#include <chrono>
#include <memory>
#include <string>

namespace SQLite {
class Database;
}

namespace skyloom {

// The model container: the store of schema 1.0.0 (SchemaV1; there are no
// migration stages) and its one main context.
class ModelContainer {
public:
    struct Options {
        // FULL: a save returns once it is in the store file and synced, so
        // a saved record survives a power loss too (3 syncs per save).
        // NORMAL: saves stay in the write-ahead log, unsynced, until the
        // store is closed; a power loss may take the latest saves back.
        enum class Synchronous { full, normal } synchronous = Synchronous::full;
        // How long SQLite waits for a database lock held by someone else.
        std::chrono::milliseconds busyTimeout{2000};
        // How long opening waits for another process to release the store lock.
        std::chrono::milliseconds lockWait = StoreLock::defaultWait;
    };

    ~ModelContainer();
    ModelContainer(const ModelContainer&) = delete;
    ModelContainer& operator=(const ModelContainer&) = delete;

    // Opens the store file, creating it when it does not exist, and holds
    // the store lock for the container's life. Throws StoreOpenError; only
    // damagedContent may be answered by moving the files aside.
    static std::unique_ptr<ModelContainer> open(const std::string& storePath,
                                                const Options& options);
    static std::unique_ptr<ModelContainer> open(const std::string& storePath);

    // As above with a lock the caller already holds (recovery keeps it from
    // the first attempt through moving aside to the second).
    static std::unique_ptr<ModelContainer>
    open(const std::string& storePath, std::shared_ptr<StoreLock> lock, const Options& options);

    // A container whose records live only as long as the process.
    static std::unique_ptr<ModelContainer> inMemory();

    ModelContext& mainContext() { return *context_; }
    bool isStoredInMemoryOnly() const { return !db_; }
    // The store file's path; empty in memory.
    const std::string& storePath() const { return storePath_; }

private:
    ModelContainer();

    // Notes in the lock file how the store file looks now, after our own
    // writes, so that the next opening can skip the integrity check when
    // nobody else wrote it since. Kept after every save: a command line
    // ends without closing the store.
    void noteStoreFile();

    // Called after each save that wrote: folds the log into the store file
    // (FULL), then notes the file. Throws StoreError when the fold fails.
    void afterSave();

    std::string storePath_;
    // Destroyed in reverse: the context first, then the database, then the lock.
    std::shared_ptr<StoreLock> lock_;
    std::unique_ptr<SQLite::Database> db_;
    std::unique_ptr<ModelContext> context_;
    bool foldsEachSave_ = false;
};

} // namespace skyloom
