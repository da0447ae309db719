#include "core/store/StoreSchema.h"

#include "core/UniqueFd.h"
#include "core/record/PinnedFolder.h"
#include "core/store/ModelContext.h"
#include "core/store/StoreError.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace skyloom {
namespace {

constexpr const char* createSql = R"sql(
CREATE TABLE meta (
    key TEXT PRIMARY KEY NOT NULL,
    value TEXT NOT NULL
);
CREATE TABLE PinnedFolder (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    path BLOB NOT NULL DEFAULT x'',
    bookmark BLOB,
    originalAddedDate REAL,
    "order" INTEGER NOT NULL DEFAULT 0,
    pinnedAt REAL NOT NULL,
    isMissing INTEGER NOT NULL DEFAULT 0,
    needsAccess INTEGER NOT NULL DEFAULT 0,
    isLocked INTEGER NOT NULL DEFAULT 0,
    isUnpinPending INTEGER NOT NULL DEFAULT 0,
    folderDevice INTEGER,
    folderInode INTEGER,
    folderBirth INTEGER
);
)sql";

constexpr std::size_t originalPropertyCount = 8;

[[noreturn]] void throwDamaged(const std::string& what) {
    throw StoreOpenError(StoreOpenError::Reason::damagedContent, what);
}

[[noreturn]] void throwNewer() {
    throw StoreOpenError(StoreOpenError::Reason::newerSchema,
                         "the store was written by a newer schema version");
}

[[noreturn]] void throwSystem(const std::string& what, int error) {
    throw StoreOpenError(StoreOpenError::classifyErrno(error), what + ": " + std::strerror(error),
                         0, error);
}

std::uint32_t bigEndian32(const unsigned char* bytes) {
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) |
           (std::uint32_t(bytes[2]) << 8) | std::uint32_t(bytes[3]);
}

void syncPath(const std::string& path, int flags) {
    UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC));
    if (!fd)
        throwSystem("cannot open " + path, errno);
    if (::fsync(fd.get()) != 0)
        throwSystem("cannot sync " + path, errno);
}

std::string parentOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

void StoreSchema::createStore(const std::string& storePath) {
    const std::string temporary = storePath + ".new";
    // Left over from a creation that was interrupted; nobody else uses it
    // while we hold the store lock.
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        ::unlink((temporary + suffix).c_str());

    {
        // The store reveals what the user pinned: the file is theirs alone
        // whatever the umask, and SQLite gives its log and index the same mode.
        UniqueFd fd(
            ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd || ::fchmod(fd.get(), 0600) != 0)
            throwSystem("cannot create the store", errno);
    }
    try {
        SQLite::Database db(temporary, SQLite::OPEN_READWRITE);
        {
            SQLite::Transaction transaction(db, SQLite::TransactionBehavior::IMMEDIATE);
            db.exec("PRAGMA application_id = " + std::to_string(applicationId));
            db.exec("PRAGMA user_version = " + std::to_string(userVersion));
            db.exec(createSql);
            for (const auto& index : addedIndexes)
                db.exec(std::string("CREATE INDEX ") + index.name + " ON PinnedFolder " +
                        index.columns);
            SQLite::Statement meta(db, "INSERT INTO meta (key, value) VALUES ('schemaVersion', ?)");
            meta.bind(1, versionString);
            meta.exec();
            transaction.commit();
        }
    } catch (const SQLite::Exception& e) {
        ::unlink(temporary.c_str());
        throw StoreOpenError(StoreOpenError::classify(e.getExtendedErrorCode(), 0),
                             std::string("cannot create the store: ") + e.what(),
                             e.getExtendedErrorCode());
    }

    syncPath(temporary, O_RDONLY);
    if (::rename(temporary.c_str(), storePath.c_str()) != 0) {
        int error = errno;
        ::unlink(temporary.c_str());
        throwSystem("cannot move the new store into place", error);
    }
    syncPath(parentOf(storePath), O_RDONLY | O_DIRECTORY);
}

void StoreSchema::checkHeader(const std::string& storePath) {
    UniqueFd fd(::open(storePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        throwSystem("cannot open the store", errno);
    unsigned char header[100];
    std::size_t length = 0;
    while (length < sizeof header) {
        ssize_t count = ::read(fd.get(), header + length, sizeof header - length);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            throwSystem("cannot read the store", errno);
        if (count == 0)
            break;
        length += std::size_t(count);
    }

    // Our store is always created whole, so a shorter file (even an empty
    // one, which SQLite would take for an empty database) lost its content.
    if (length < sizeof header)
        throwDamaged("the store file is too short to be a database");
    if (std::memcmp(header, "SQLite format 3", 16) != 0)
        throwDamaged("the store file is not a database");
    // File format versions: 1 rollback journal, 2 write-ahead log. Anything
    // else SQLite opens read-only or not at all.
    if (header[18] < 1 || header[18] > 2 || header[19] < 1 || header[19] > 2)
        throwDamaged("the store file has an unknown file format version");
    if (std::int32_t(bigEndian32(header + 68)) != applicationId)
        throwDamaged("the store file belongs to another application");
    auto version = std::int32_t(bigEndian32(header + 60));
    if (version > userVersion)
        throwNewer();
    if (version != userVersion)
        throwDamaged("the store has an unknown schema version");
}

namespace {
std::atomic<int> integrityChecks{0};
}

int StoreSchema::integrityChecksRun() {
    return integrityChecks.load();
}

std::string StoreSchema::fileStamp(const std::string& storePath) {
    UniqueFd fd(::open(storePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0)
        return {};
    // File times may be as coarse as a clock tick; SQLite's change counter
    // tells two writes within one tick apart when SQLite made them.
    unsigned char counter[4] = {};
    if (::pread(fd.get(), counter, sizeof counter, 24) != sizeof counter)
        return {};
    return "store " + std::to_string(bigEndian32(counter)) + " " + std::to_string(info.st_dev) +
           " " + std::to_string(info.st_ino) + " " + std::to_string(info.st_size) + " " +
           std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec) + " " +
           std::to_string(info.st_ctim.tv_sec) + "." + std::to_string(info.st_ctim.tv_nsec) + "\n";
}

void StoreSchema::validate(SQLite::Database& db, bool checkIntegrity) {
    // The header again: an uncheckpointed write-ahead log may hold newer values.
    if (db.execAndGet("PRAGMA application_id").getInt() != applicationId)
        throwDamaged("the store file belongs to another application");
    auto version = db.execAndGet("PRAGMA user_version").getInt();
    if (version > userVersion)
        throwNewer();
    if (version != userVersion)
        throwDamaged("the store has an unknown schema version");

    if (checkIntegrity) {
        ++integrityChecks;
        SQLite::Statement check(db, "PRAGMA quick_check(1)");
        if (!check.executeStep() || check.getColumn(0).getString() != "ok")
            throwDamaged("the store failed its integrity check");
    }

    std::set<std::pair<std::string, std::string>> expected{
        {"table", "meta"},
        {"index", "sqlite_autoindex_meta_1"},
        {"table", tableName},
        {"table", "sqlite_sequence"},
    };
    std::set<std::pair<std::string, std::string>> found;
    SQLite::Statement objects(db, "SELECT type, name FROM sqlite_master");
    while (objects.executeStep())
        found.emplace(objects.getColumn(0).getString(), objects.getColumn(1).getString());
    // The added indexes may not be there yet (migrate() adds them).
    for (const auto& index : addedIndexes)
        found.erase({"index", index.name});
    if (found != expected)
        throwDamaged("the store holds tables of another schema");

    std::vector<std::string> columns;
    SQLite::Statement info(db, "SELECT name FROM pragma_table_info('PinnedFolder') ORDER BY cid");
    while (info.executeStep())
        columns.push_back(info.getColumn(0).getString());
    // The eight properties the schema was made with; the later ones are
    // among the added columns.
    std::vector<std::string> wanted{"id"};
    for (std::size_t i = 0; i < originalPropertyCount; ++i)
        wanted.emplace_back(SchemaV1::properties[i].name);
    // The eight properties first, then some or all of the added columns.
    std::set<std::string> added;
    for (std::size_t i = wanted.size(); i < columns.size(); ++i)
        added.insert(columns[i]);
    std::set<std::string> known;
    for (const auto& column : addedColumns)
        known.insert(column.name);
    if (columns.size() < wanted.size() ||
        !std::equal(wanted.begin(), wanted.end(), columns.begin()) ||
        added.size() != columns.size() - wanted.size() ||
        !std::includes(known.begin(), known.end(), added.begin(), added.end()))
        throwDamaged("the store's table does not match schema 1.0.0");

    SQLite::Statement meta(db, "SELECT value FROM meta WHERE key = 'schemaVersion'");
    if (!meta.executeStep() || meta.getColumn(0).getString() != versionString)
        throwDamaged("the store's meta table names another schema version");
}

std::int64_t StoreSchema::birthValue(const TimeSpec& birth) {
    std::int64_t value = 0;
    if (__builtin_mul_overflow(birth.seconds, std::int64_t(1'000'000'000), &value) ||
        __builtin_add_overflow(value, birth.nanoseconds, &value))
        return birth.seconds < 0 ? INT64_MIN : INT64_MAX;
    return value;
}

void StoreSchema::migrate(SQLite::Database& db) {
    std::set<std::string> columns;
    SQLite::Statement info(db, "SELECT name FROM pragma_table_info('PinnedFolder')");
    while (info.executeStep())
        columns.insert(info.getColumn(0).getString());
    info.reset();
    std::set<std::string> indexes;
    SQLite::Statement names(db, "SELECT name FROM sqlite_master WHERE type = 'index'");
    while (names.executeStep())
        indexes.insert(names.getColumn(0).getString());
    names.reset();
    bool missing = false;
    for (const auto& column : addedColumns)
        missing = missing || !columns.contains(column.name);
    for (const auto& index : addedIndexes)
        missing = missing || !indexes.contains(index.name);
    if (!missing)
        return;

    SQLite::Transaction transaction(db, SQLite::TransactionBehavior::IMMEDIATE);
    bool identityAdded = false;
    for (const auto& column : addedColumns)
        if (!columns.contains(column.name)) {
            db.exec(std::string("ALTER TABLE PinnedFolder ADD COLUMN ") + column.name + " " +
                    column.type);
            identityAdded = true;
        }
    if (identityAdded) {
        SQLite::Statement rows(db, "SELECT id, bookmark FROM PinnedFolder");
        SQLite::Statement update(
            db, "UPDATE PinnedFolder SET folderDevice = ?, folderInode = ?, folderBirth = ? "
                "WHERE id = ?");
        while (rows.executeStep()) {
            auto blob = rows.getColumn(1);
            auto* data = static_cast<const std::uint8_t*>(blob.getBlob());
            auto identity =
                ModelContext::identityOf(Bytes(data, data + (data ? blob.getBytes() : 0)));
            if (!identity)
                continue;
            update.bind(1, static_cast<std::int64_t>(identity->device));
            update.bind(2, static_cast<std::int64_t>(identity->inode));
            if (identity->birth)
                update.bind(3, birthValue(*identity->birth));
            else
                update.bind(3);
            update.bind(4, rows.getColumn(0).getInt64());
            update.exec();
            update.reset();
        }
    }
    for (const auto& index : addedIndexes)
        db.exec(std::string("CREATE INDEX IF NOT EXISTS ") + index.name + " ON PinnedFolder " +
                index.columns);
    transaction.commit();
}

bool StoreSchema::exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

void StoreSchema::makePrivate(const std::string& storePath) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
        const std::string path = storePath + suffix;
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == ::geteuid() && (info.st_mode & 0177) != 0)
            ::chmod(path.c_str(), 0600); // a failure leaves the file as it was
    }
}

} // namespace skyloom
