#pragma once

#include <cstdint>
#include <string>

namespace SQLite {
class Database;
}

namespace skyloom {

struct TimeSpec;

// The layout of the store file for schema 1.0.0: one table "PinnedFolder"
// with the record's eight properties in their declared order behind the
// persistent identifier, a "meta" table with the schema version, and the
// file's application_id and user_version.
class StoreSchema {
public:
    // "SKYL": marks the file as Skyloom's, so another application's SQLite
    // file is never mistaken for the store.
    static constexpr std::int32_t applicationId = 0x534B594C;
    // 1.0.0 as major * 10000 + minor * 100 + patch.
    static constexpr std::int32_t userVersion = 10000;
    static constexpr const char* versionString = "1.0.0";
    static constexpr const char* tableName = "PinnedFolder";

    // Creates the store file whole: built under a temporary name, then
    // renamed into place, so a crash never leaves a half-made store behind.
    // Throws StoreOpenError.
    static void createStore(const std::string& storePath);

    // Reads the file's SQLite header directly, before SQLite opens the file
    // (and creates companion files beside it). Throws StoreOpenError:
    // damagedContent for a short file, one that is not an SQLite database,
    // another application's file, or an unknown older schema version;
    // newerSchema for a store a newer Skyloom wrote.
    static void checkHeader(const std::string& storePath);

    // Checks an open database: identity, version, quick_check when
    // `checkIntegrity`, and exactly the tables and columns of schema 1.0.0,
    // with or without the added columns and indexes.
    // Throws StoreOpenError (damagedContent) or SQLite::Exception.
    static void validate(SQLite::Database& db, bool checkIntegrity = true);

    // How many integrity checks validate() ran in this process.
    static int integrityChecksRun();

    // The store file as it is now: device, inode, size, and its modification
    // and change times to the nanosecond; empty when it cannot be read. Any
    // write by anyone changes the change time, which no program can set
    // back, so an equal stamp means the file was not written in between.
    static std::string fileStamp(const std::string& storePath);

    // Columns added after the eight first properties, each with its type, in
    // the order they were added: the pending-unpin flag (a property of its
    // own), then, carrying no property of a record, the folder identity its
    // bookmark names (device, inode, birth time in
    // nanoseconds), indexed so that a folder's record is found without a
    // scan. A store without them is still schema 1.0.0 and gets them on
    // opening (migrate()).
    struct AddedColumn {
        const char* name;
        const char* type;
    };
    static constexpr AddedColumn addedColumns[] = {
        {"isUnpinPending", "INTEGER NOT NULL DEFAULT 0"},
        {"folderDevice", "INTEGER"},
        {"folderInode", "INTEGER"},
        {"folderBirth", "INTEGER"},
    };
    static constexpr const char* identityIndexName = "PinnedFolderByIdentity";

    // Indexes added after the first release, each with what it indexes: a
    // folder's record by its identity, and the records by `order`, so that
    // the highest order is found without reading every record. A store
    // without them is still schema 1.0.0 and gets them on opening.
    struct AddedIndex {
        const char* name;
        const char* columns;
    };
    static constexpr AddedIndex addedIndexes[] = {
        {identityIndexName, "(folderDevice, folderInode)"},
        {"PinnedFolderByOrder", R"(("order", id))"},
    };

    // Adds what is missing of the added columns and indexes, and fills the
    // identity of every record from its bookmark, in one transaction; does
    // nothing (and writes nothing) when all is there.
    // Throws SQLite::Exception.
    static void migrate(SQLite::Database& db);

    // A birth time as the folderBirth column keeps it.
    static std::int64_t birthValue(const TimeSpec& birth);

    // Whether anything, even a dangling symbolic link, is at `path`.
    static bool exists(const std::string& path);

    // Narrows the store file and its "-journal", "-wal" and "-shm" companions to 0600,
    // those that exist and are ours; the paths of pinned folders are in them.
    static void makePrivate(const std::string& storePath);
};

} // namespace skyloom
