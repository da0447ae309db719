#pragma once

#include "core/ObserverList.h"
#include "core/platform/FolderIdentity.h"
#include "core/record/PinnedFolder.h"
#include "core/store/StoreError.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace SQLite {
class Database;
}
struct sqlite3_stmt;

namespace skyloom {

// One change the context saw: a record inserted or deleted, or a field of a
// live record changed (then `field` says which). `position` is the record's
// row in fetchAll() order: where it now stands (inserted, updated, moved) or
// stood (deleted). A change of `order` is a move from `previousPosition`.
// Rows are counted once the context holds the whole list (from the first
// fetchAll() on); before that nobody holds rows to place a change in, and
// both positions are 0.
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
// Records are read from the file when first asked for: a verb on one folder
// reads that folder's record alone, so its cost does not grow with the
// store; the whole list is read once someone fetches it. The process owns
// its store file exclusively (StoreLock), so a record once read is served
// from memory and the rows not read yet are exactly as the file holds them.
class ModelContext {
public:
    ~ModelContext();
    ModelContext(const ModelContext&) = delete;
    ModelContext& operator=(const ModelContext&) = delete;

    // All live records sorted by `order` ascending (equal orders by
    // identifier). Reads every record not read yet; throws StoreError when
    // the file cannot be read.
    std::vector<PinnedFolderPtr> fetchAll();

    // The live records whose bookmark names the folder of `identity` (same
    // device and inode, and the same birth time where both sides know one),
    // in fetchAll() order; usually one, none when no record has that folder.
    // Found through the identity index of the file and of the records read,
    // so the cost does not grow with the store. A record without a readable
    // bookmark has no identity and is only found by its path. Throws
    // StoreError when the file cannot be read.
    std::vector<PinnedFolderPtr> fetchByIdentity(const platform::FolderIdentity& identity);

    // The live records without identity, in fetchAll() order: with
    // fetchByIdentity() they are every record that may be a reachable
    // folder's, without reading the others. Throws StoreError when the file
    // cannot be read.
    std::vector<PinnedFolderPtr> fetchWithoutIdentity();

    // How many live records have no identity (no readable bookmark): only
    // when there are any must a folder also be looked for by its path.
    // Throws StoreError when the file cannot be read.
    std::size_t recordsWithoutIdentity();

    // The largest `order` among the live records; absent when there are
    // none. Throws StoreError when the file cannot be read.
    std::optional<std::int64_t> highestOrder();

    // Whether every record is read (always so in memory).
    bool holdsEveryRecord() const { return whole_; }

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
    // transaction; does nothing when there are no changes. When the commit
    // fails nothing is written, the changes stay pending, and StoreError is
    // thrown. When the commit went in but what follows it failed (folding it
    // into the store file), StoreError is thrown and the changes are no
    // longer pending: they are in the file.
    void save();

    bool hasChanges() const;

    // Whether `record` is one of the live records (not deleted meanwhile).
    bool contains(const PinnedFolderPtr& record) const;

    // Kept for older callers: the container folds every save into the store
    // file as part of the save, so the file alone holds every saved record
    // and there is nothing left to fold. Does nothing.
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

    // Prepares the context on a file just opened: reads the identifiers in
    // use, not the records (those are read when asked for, after the
    // container brought the file to the current columns). Throws
    // SQLite::Exception.
    void load();

    // Reads every record not read yet; afterwards the context keeps the
    // fetch order. Throws StoreError.
    void loadWhole();

    // The record of a row read from the file: the object already held for
    // its identifier, else a new one, tracked; null for a row deleted here.
    PinnedFolderPtr adopt(sqlite3_stmt* row);
    // Whether the record of `identifier` is held here, live or deleted: its
    // row in the file no longer tells its state.
    bool isRead(std::int64_t identifier) const;
    // The query for the records satisfying `condition` (all when null).
    std::string recordQuery(const char* condition);
    // Runs `body` and turns an SQLite failure into StoreError.
    template <typename Body> auto reading(Body&& body) -> decltype(body());

    // A statement prepared once and kept, for lookups a batch repeats.
    struct Finalizer {
        void operator()(sqlite3_stmt* statement) const;
    };
    std::unique_ptr<sqlite3_stmt, Finalizer> identityQuery_;

    void track(const PinnedFolderPtr& record);
    void untrack(std::int64_t identifier);
    void fieldChanged(PinnedFolder& record, PinnedFolder::Field field);
    void saveToDatabase();
    std::size_t positionOf(const PinnedFolderPtr& record) const;
    void notify(ModelChange::Kind kind, const PinnedFolderPtr& record,
                std::optional<PinnedFolder::Field> field, std::size_t position = 0,
                std::size_t previous = 0);

    struct Entry {
        PinnedFolderPtr record;
        PinnedFolder::Observers::Token token;
        // Where the record stands in byIdentity_, if anywhere.
        std::optional<std::pair<std::uint64_t, std::uint64_t>> key;
        // The order it stands under in byOrder_.
        std::int64_t order = 0;
    };

    SQLite::Database* db_;
    // Whether live_ holds every live record (then sorted_ is kept).
    bool whole_ = true;
    // Whether the file has the pending-unpin column; asked once.
    std::optional<bool> hasPendingFlag_;
    std::int64_t lastIdentifier_ = 0;
    std::unordered_map<std::int64_t, Entry> live_;

    // Live identifiers by the device and inode their bookmark names, among
    // the records read.
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

    // Until the whole list is read: the records read, by order and
    // identifier, and what is known of the rows not read. Rows only ever
    // leave that set (every row a save writes belongs to a record read), so
    // the highest of them is found again from where it was last seen.
    std::set<std::pair<std::int64_t, std::int64_t>> byOrder_;
    struct UnreadTop {
        bool known = false;
        // The stored order and identifier of the highest unread row.
        std::optional<std::pair<std::int64_t, std::int64_t>> row;
    } unreadTop_;
    // Identifiers of the rows stored without identity, read once.
    std::optional<std::vector<std::int64_t>> withoutIdentity_;

    // Pending changes, by identifier.
    std::set<std::int64_t> inserted_;
    std::set<std::int64_t> updated_;
    std::map<std::int64_t, PinnedFolderPtr> deleted_;

    // The live records in fetch order, kept sorted as they change, once
    // every record is read.
    std::vector<PinnedFolderPtr> sorted_;

    ObserverList<const ModelChange&> changes_;
};

} // namespace skyloom
