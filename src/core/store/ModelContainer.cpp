#include "core/store/ModelContainer.h"

#include "core/store/StoreSchema.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace skyloom {
namespace {

// The system's file layer, except that a write-ahead log (or rollback
// journal) that already exists is opened without asking to create it.
// SQLite syncs the folder the first time it syncs a log it may have
// created; the log of a store stays beside it between uses (emptied, not
// removed), so that sync would be one more per command for a folder entry
// that is already on disk.
constexpr const char* vfsName = "skyloom-unix";

sqlite3_vfs* systemVfs() {
    static sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
    return base;
}

int openFile(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    sqlite3_vfs* base = systemVfs();
    if (name && (flags & (SQLITE_OPEN_WAL | SQLITE_OPEN_MAIN_JOURNAL)) &&
        (flags & SQLITE_OPEN_CREATE) && ::access(name, F_OK) == 0) {
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
// or foreign store keeps its bytes and its write-ahead log. The companion
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
    // Only an empty log is ours to drop: one that holds what this opening
    // wrote before failing may be needed by a half-written store file.
    struct stat log {};
    if (!hadWal && ::lstat((storePath + "-wal").c_str(), &log) == 0 && log.st_size == 0)
        ::unlink((storePath + "-wal").c_str());
    if (!hadShm)
        ::unlink((storePath + "-shm").c_str());
}

// Folds the write-ahead log into the store file and empties it: the log is
// synced, its pages written into the file, the file synced, the log
// truncated. Nothing to fold costs no sync.
int foldLog(sqlite3* handle) {
    return sqlite3_wal_checkpoint_v2(handle, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
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

void ModelContainer::afterSave() {
    if (foldsEachSave_) {
        sqlite3* handle = db_->getHandle();
        if (int result = foldLog(handle); result != SQLITE_OK)
            // The save is in the log but not (wholly) in the file: it counts
            // as failed, so no folder's date changes on its strength. The
            // log keeps it for the next fold: a later save, closing, or the
            // next opening.
            throw StoreError(std::string("cannot write the save into the store file: ") +
                                 sqlite3_errmsg(handle),
                             sqlite3_extended_errcode(handle), sqlite3_system_errno(handle));
    }
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
        // One process owns the store (StoreLock), so the connection keeps its
        // file lock until it closes and the log's index lives in this
        // process's memory: no "-shm" file and no shared memory mapping, which
        // some file systems cannot give. Set before the first read, which
        // would open the log of a store in write-ahead-log mode.
        db->exec("PRAGMA locking_mode = EXCLUSIVE");
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
        // Checked before anything is written, so that a store that cannot
        // be read is left exactly as it was; records are read when asked for.
        container->context_.reset(new ModelContext(db.get()));
        container->context_->load();

        // A commit goes to the write-ahead log, whose header alone is synced
        // when the emptied log starts again; right after each save the log
        // is folded into the store file and emptied (afterSave), which syncs
        // the log and then the file. Three syncs per save, where a rollback
        // journal in TRUNCATE mode with synchronous=FULL needs four, and the
        // file alone holds every finished save. A power loss before a fold
        // ends takes that save or keeps it in the log, for the next opening
        // to fold in; either way the save had not returned, so no folder's
        // date changed on its strength. A store kept with a rollback journal
        // (by an older Skyloom) is switched here.
        if (db->execAndGet("PRAGMA journal_mode = WAL").getString() != "wal")
            throw StoreOpenError(StoreOpenError::Reason::unknown,
                                 "the store cannot use a write-ahead log");
        db->exec("PRAGMA synchronous = NORMAL");
        // The log stays beside the store, emptied, like the store's folder
        // entry for it: later commits need no sync of the folder.
        int persist = 1;
        sqlite3_file_control(handle, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
        db->exec("PRAGMA journal_size_limit = 0");
        container->foldsEachSave_ = options.synchronous == Options::Synchronous::full;
        if (container->foldsEachSave_)
            sqlite3_wal_autocheckpoint(handle, 0); // a failed automatic fold would fail a commit
        StoreSchema::migrate(*db);
        // What opening wrote, and anything a crash left in the log.
        if (int result = foldLog(handle); result != SQLITE_OK)
            throw SQLite::Exception(handle, result);
        // Left by a Skyloom that shared the log's index through a file, or
        // kept a rollback journal; nobody uses them while we hold the store.
        ::unlink((storePath + "-shm").c_str());
        struct stat journal {};
        if (::lstat((storePath + "-journal").c_str(), &journal) == 0 && S_ISREG(journal.st_mode) &&
            journal.st_size == 0)
            ::unlink((storePath + "-journal").c_str());

        // The file is checked (or known unchanged) and as we left it.
        ModelContainer* self = container.get();
        container->context_->saved_ = [self] { self->afterSave(); };
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
