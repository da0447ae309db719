#pragma once

#include "core/ObserverList.h"
#include "core/platform/FolderIdentity.h"
#include "core/record/PinnedFolder.h"
#include "core/store/StoreError.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

namespace SQLite {
class Database;
}

namespace skyloom {

// One change the context saw: a record inserted or deleted, or a field of a
// live record changed (then `field` says which). `position` is the record's
// row in fetchAll() order: where it now stands (inserted, updated, moved) or
// stood (deleted). A change of `order` is a move from `previousPosition`.
struct ModelChange {
    enum class Kind { inserted, deleted, updated, moved } kind;
    PinnedFolderPtr record;
    std::optional<PinnedFolder::Field> field;
    std::size_t position = 0;
    std::size_t previousPosition = 0;
};

// The store's one main context, used on the main thread only. It keeps one
// object per stored record (an identity map), remembers which records were
// inserted, deleted or changed, and writes those in one transaction on save.
// The process owns its store file exclusively (StoreLock), so after opening
// every fetch is served from memory.
class ModelContext {
public:
    ~ModelContext();
    ModelContext(const ModelContext&) = delete;
    ModelContext& operator=(const ModelContext&) = delete;

    // All live records sorted by `order` ascending (equal orders by identifier).
    std::vector<PinnedFolderPtr> fetchAll();

    // The live records whose bookmark names the folder of `identity` (same
    // device and inode, and the same birth time where both sides know one),
    // in fetchAll() order; usually one, none when no record has that folder.
    // Found through an index kept with the records, so the cost does not
    // grow with the store. A record without a readable bookmark has no
    // identity and is only found by its path.
    std::vector<PinnedFolderPtr> fetchByIdentity(const platform::FolderIdentity& identity) const;

    // How many live records have no identity (no readable bookmark): only
    // when there are any must a folder also be looked for by its path.
    std::size_t recordsWithoutIdentity() const { return live_.size() - byIdentity_.size(); }

    // The largest `order` among the live records; absent when there are none.
    std::optional<std::int64_t> highestOrder() const;

    // The folder identity a bookmark blob records (device, inode and, in the
    // blob's second version, the birth time); absent for a blob that is not
    // a bookmark. addedDate stays empty.
    static std::optional<platform::FolderIdentity> identityOf(const Bytes& bookmark);

    // Adds a record: it gets its persistent identifier at once and is seen by
    // later fetches. Inserting a record that is already live does nothing;
    // inserting a deleted record again takes the deletion back.
    void insert(const PinnedFolderPtr& record);

    // Deletes a record: later fetches no longer see it. A record this
    // context does not hold is ignored.
    void remove(const PinnedFolderPtr& record);

    // Writes every insert, deletion and changed record in one BEGIN IMMEDIATE
    // transaction; does nothing when there are no changes. On failure nothing
    // is written, the changes stay pending, and StoreError is thrown.
    void save();

    bool hasChanges() const;

    // Whether `record` is one of the live records (not deleted meanwhile).
    bool contains(const PinnedFolderPtr& record) const;

    // Kept for callers from the write-ahead-log days: every save already
    // lands in the store file itself (a rollback journal), so the file alone
    // holds every saved record and there is nothing to fold in. Does nothing.
    void checkpoint();

    // True for a context whose records live only as long as the process.
    bool isStoredInMemoryOnly() const { return !db_; }

    // The range of `order` a stored record may carry: any pin date of it
    // still lies at or after pinnedThreshold, and one more never overflows.
    static const std::int64_t largestOrder;

    // Notified on insert, delete and every field change of a live record.
    ObserverList<const ModelChange&>& changes() { return changes_; }

private:
    friend class ModelContainer;

    // `db` is null for a context that lives in memory only.
    explicit ModelContext(SQLite::Database* db);

    // Called after each save that wrote to the file.
    std::function<void()> saved_;

    // Reads every record of the store; throws SQLite::Exception. Values
    // outside what Skyloom writes are brought into range (see load()).
    void load();

    void track(const PinnedFolderPtr& record);
    void untrack(std::int64_t identifier);
    void fieldChanged(PinnedFolder& record, PinnedFolder::Field field);
    void saveToDatabase();
    std::size_t positionOf(const PinnedFolderPtr& record) const;

    struct Entry {
        PinnedFolderPtr record;
        PinnedFolder::Observers::Token token;
        // Where the record stands in byIdentity_, if anywhere.
        std::optional<std::pair<std::uint64_t, std::uint64_t>> key;
    };

    SQLite::Database* db_;
    std::int64_t lastIdentifier_ = 0;
    std::unordered_map<std::int64_t, Entry> live_;

    // Live identifiers by the device and inode their bookmark names.
    using IdentityKey = std::pair<std::uint64_t, std::uint64_t>;
    struct KeyHash {
        std::size_t operator()(const IdentityKey& key) const {
            return std::hash<std::uint64_t>()(key.first * 0x9E3779B97F4A7C15ull ^ key.second);
        }
    };
    std::unordered_multimap<IdentityKey, std::int64_t, KeyHash> byIdentity_;
    void index(std::int64_t identifier, std::optional<IdentityKey>& key,
               const PinnedFolder& record);
    void unindex(std::int64_t identifier, std::optional<IdentityKey>& key);

    // Pending changes, by identifier.
    std::set<std::int64_t> inserted_;
    std::set<std::int64_t> updated_;
    std::map<std::int64_t, PinnedFolderPtr> deleted_;

    // The live records in fetch order, kept sorted as they change.
    std::vector<PinnedFolderPtr> sorted_;

    ObserverList<const ModelChange&> changes_;
};

} // namespace skyloom
