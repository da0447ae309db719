#include "core/store/ModelContainer.h"

#include "core/store/StoreSchema.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>
#include <unistd.h>

namespace skyloom {
namespace {

// The system's file layer, except that a rollback journal that already
// exists is opened without asking to create it. SQLite syncs the folder
// after opening a journal it may have created; the journal of a store in
// TRUNCATE mode stays beside it, so that sync would be one more per command
// for a folder entry that is already on disk.
constexpr const char* vfsName = "skyloom-unix";

sqlite3_vfs* systemVfs() {
    static sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
    return base;
}

int openFile(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    sqlite3_vfs* base = systemVfs();
    if (name && (flags & SQLITE_OPEN_MAIN_JOURNAL) && (flags & SQLITE_OPEN_CREATE) &&
        ::access(name, F_OK) == 0) {
        int result = base->xOpen(base, name, file, flags & ~SQLITE_OPEN_CREATE, outFlags);
        if (result == SQLITE_OK)
            return result;
        // Removed in between: make it anew, folder sync included.
    }
    return base->xOpen(base, name, file, flags, outFlags);
}

const char* storeVfs() {
    static const bool registered = [] {
        static sqlite3_vfs vfs = *systemVfs();
        vfs.zName = vfsName;
        vfs.xOpen = openFile;
        vfs.pNext = nullptr;
        return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK;
    }();
    return registered ? vfsName : nullptr;
}

// Closes a database that failed to open without checkpointing, so a damaged
// or foreign store keeps its bytes and its write-ahead log (a store from
// before the switch to a rollback journal may have one). The companion
// files SQLite made only because we looked are removed again, so damaged
// files are moved aside as they were and a store we leave alone stays as it
// was; when the store is merely busy they may belong to the process that
// holds it, so they stay.
void closeUntouched(std::unique_ptr<SQLite::Database>& db, const std::string& storePath,
                    bool hadWal, bool hadShm, StoreOpenError::Reason reason) {
    if (!db)
        return;
    sqlite3_db_config(db->getHandle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    db.reset();
    // Busy, permission, I/O and full-disk failures may come from another
    // process's use of the files; every other reason means we looked alone.
    using Reason = StoreOpenError::Reason;
    if (reason != Reason::damagedContent && reason != Reason::newerSchema &&
        reason != Reason::unknown)
        return;
    if (!hadWal)
        ::unlink((storePath + "-wal").c_str());
    if (!hadShm)
        ::unlink((storePath + "-shm").c_str());
}

} // namespace

ModelContainer::ModelContainer() = default;
ModelContainer::~ModelContainer() {
    // Only a store that opened and passed its checks has a context.
    const bool opened = context_ && db_;
    context_.reset();
    db_.reset();
    if (opened)
        noteStoreFile();
}

void ModelContainer::noteStoreFile() {
    if (!lock_)
        return;
    auto stamp = StoreSchema::fileStamp(storePath_);
    if (!stamp.empty() && stamp != lock_->note())
        lock_->setNote(stamp);
}

std::unique_ptr<ModelContainer> ModelContainer::inMemory() {
    std::unique_ptr<ModelContainer> container(new ModelContainer);
    container->context_.reset(new ModelContext(nullptr));
    return container;
}

std::unique_ptr<ModelContainer> ModelContainer::open(const std::string& storePath) {
    return open(storePath, Options{});
}

std::unique_ptr<ModelContainer> ModelContainer::open(const std::string& storePath,
                                                     const Options& options) {
    return open(storePath, StoreLock::acquire(storePath, options.lockWait), options);
}

std::unique_ptr<ModelContainer> ModelContainer::open(const std::string& storePath,
                                                     std::shared_ptr<StoreLock> lock,
                                                     const Options& options) {
    StoreSchema::makePrivate(storePath);
    if (!StoreSchema::exists(storePath)) {
        // A log without its store is what an interrupted recovery leaves;
        // SQLite would silently apply or drop it, so it counts as damage.
        if (StoreSchema::exists(storePath + "-wal") || StoreSchema::exists(storePath + "-shm") ||
            StoreSchema::exists(storePath + "-journal"))
            throw StoreOpenError(StoreOpenError::Reason::damagedContent,
                                 "companion files lie without their store file");
        StoreSchema::createStore(storePath);
    }
    StoreSchema::checkHeader(storePath);

    const bool hadWal = StoreSchema::exists(storePath + "-wal");
    const bool hadShm = StoreSchema::exists(storePath + "-shm");
    std::unique_ptr<ModelContainer> container(new ModelContainer);
    container->storePath_ = storePath;
    container->lock_ = std::move(lock);
    auto& db = container->db_;
    try {
        // One thread uses the connection (the context is main-thread only), so
        // SQLite's own mutexes would only cost every column read.
        db = std::make_unique<SQLite::Database>(storePath.c_str(),
                                                SQLite::OPEN_READWRITE | SQLite::OPEN_NOMUTEX,
                                                int(options.busyTimeout.count()), storeVfs());
        sqlite3* handle = db->getHandle();
        // Content from a damaged or hostile file must not be able to run
        // anything or write through the schema.
        sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        db->exec("PRAGMA trusted_schema = OFF");
        db->exec("PRAGMA cell_size_check = ON");
        if (sqlite3_db_readonly(handle, "main") == 1)
            throw StoreOpenError(StoreOpenError::Reason::permission, "the store file is read-only");

        // The integrity check reads the whole file; it runs only when the
        // file changed since a Skyloom last closed it (or that is unknown).
        const auto stamp = StoreSchema::fileStamp(storePath);
        const bool unchanged =
            container->lock_ && !stamp.empty() && container->lock_->note() == stamp;
        StoreSchema::validate(*db, !unchanged);
        // Read before anything is written, so that a store that cannot be
        // read whole is left exactly as it was.
        container->context_.reset(new ModelContext(db.get()));
        container->context_->load();

        // A rollback journal writes every commit into the store file itself,
        // so the file alone holds everything saved, whatever becomes of the
        // files beside it, without a checkpoint after each operation. A store
        // from before, in write-ahead-log mode, is switched here: the log is
        // folded in and removed (no other connection can be open, since we
        // hold the store lock). TRUNCATE keeps the journal file, so later
        // commits need no sync of the folder.
        if (db->execAndGet("PRAGMA journal_mode = TRUNCATE").getString() != "truncate")
            throw StoreOpenError(StoreOpenError::Reason::unknown,
                                 "the store cannot use a rollback journal");
        db->exec(options.synchronous == Options::Synchronous::full ? "PRAGMA synchronous = FULL"
                                                                   : "PRAGMA synchronous = NORMAL");
        StoreSchema::migrate(*db);
        // The file is checked (or known unchanged) and as we left it.
        ModelContainer* self = container.get();
        container->context_->saved_ = [self] { self->noteStoreFile(); };
        container->noteStoreFile();
    } catch (const SQLite::Exception& e) {
        int code = e.getExtendedErrorCode();
        int systemErrno = db ? sqlite3_system_errno(db->getHandle()) : 0;
        auto reason = StoreOpenError::classify(code, systemErrno);
        container->context_.reset();
        closeUntouched(db, storePath, hadWal, hadShm, reason);
        throw StoreOpenError(reason, std::string("cannot open the store: ") + e.what(), code,
                             systemErrno);
    } catch (const StoreOpenError& error) {
        container->context_.reset();
        closeUntouched(db, storePath, hadWal, hadShm, error.reason());
        throw;
    }
    return container;
}

} // namespace skyloom
