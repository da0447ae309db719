#include "core/store/ModelContext.h"

#include "core/engine/FileSystemAddedDate.h"
#include "core/store/StoreSchema.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <sqlite3.h>
#include <stdexcept>
#include <utility>

namespace skyloom {
namespace {

constexpr const char* columnList =
    R"(path, bookmark, originalAddedDate, "order", pinnedAt, isMissing, needsAccess, isLocked,
       isUnpinPending)";
// Written with every record, read by nobody but the index (see StoreSchema).
constexpr const char* identityColumnList = "folderDevice, folderInode, folderBirth";

bool fetchOrder(const PinnedFolderPtr& a, const PinnedFolderPtr& b) {
    if (a->order() != b->order())
        return a->order() < b->order();
    return *a->persistentIdentifier() < *b->persistentIdentifier();
}

// SQLite stores a null pointer as NULL, so empty bytes get a valid address.
const void* blobData(const void* data, std::size_t size) {
    static const char empty = 0;
    return size ? data : &empty;
}

// Binds the nine properties to parameters first..first+8.
void bindFields(SQLite::Statement& statement, int first, const PinnedFolder& record) {
    const auto& path = record.path();
    statement.bind(first, blobData(path.data(), path.size()), int(path.size()));
    if (const auto& bookmark = record.bookmark())
        statement.bind(first + 1, blobData(bookmark->data(), bookmark->size()),
                       int(bookmark->size()));
    else
        statement.bind(first + 1);
    if (const auto& date = record.originalAddedDate())
        statement.bind(first + 2, *date);
    else
        statement.bind(first + 2);
    statement.bind(first + 3, record.order());
    statement.bind(first + 4, record.pinnedAt());
    statement.bind(first + 5, record.isMissing() ? 1 : 0);
    statement.bind(first + 6, record.needsAccess() ? 1 : 0);
    statement.bind(first + 7, record.isLocked() ? 1 : 0);
    statement.bind(first + 8, record.isUnpinPending() ? 1 : 0);
}

// Binds the folder identity the bookmark names to parameters first..first+2.
void bindIdentity(SQLite::Statement& statement, int first, const PinnedFolder& record) {
    auto identity = record.bookmark() ? ModelContext::identityOf(*record.bookmark()) : std::nullopt;
    for (int i = 0; i < 3; ++i)
        statement.bind(first + i);
    if (!identity)
        return;
    // SQLite integers are signed: the bits are kept, the sign means nothing.
    statement.bind(first, static_cast<std::int64_t>(identity->device));
    statement.bind(first + 1, static_cast<std::int64_t>(identity->inode));
    if (identity->birth)
        statement.bind(first + 2, StoreSchema::birthValue(*identity->birth));
}

std::uint64_t littleEndian(const Bytes& in, std::size_t at, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(in[at + i]) << (8 * i);
    return value;
}

// 0001-01-01 and 9999-12-31 UTC: any date outside is no folder's date.
constexpr Date earliestDate = -62135596800.0;
constexpr Date latestDate = 253402300799.0;

// A known earlier date is a real one (before pinnedThreshold); anything else
// counts as unknown, so unpinning writes the moment of unpinning.
std::optional<Date> storedOriginalDate(double value) {
    if (!std::isfinite(value) || value < earliestDate || value >= pinnedThreshold)
        return std::nullopt;
    return value;
}

Date storedDate(double value) {
    return std::isfinite(value) ? std::clamp(value, earliestDate, latestDate) : 0.0;
}

// Columns are read from the raw statement: the app reads every record at
// its start, and a batch reads one record per folder.
Bytes columnBytes(sqlite3_stmt* row, int column) {
    auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(row, column));
    return data ? Bytes(data, data + sqlite3_column_bytes(row, column)) : Bytes{};
}

std::string columnText(sqlite3_stmt* row, int column) {
    auto* data = static_cast<const char*>(sqlite3_column_blob(row, column));
    return data ? std::string(data, static_cast<std::size_t>(sqlite3_column_bytes(row, column)))
                : std::string();
}

using Prepared = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

Prepared prepare(SQLite::Database& db, const std::string& sql) {
    sqlite3_stmt* prepared = nullptr;
    if (sqlite3_prepare_v2(db.getHandle(), sql.c_str(), -1, &prepared, nullptr) != SQLITE_OK)
        throw SQLite::Exception(db.getHandle());
    return Prepared(prepared, &sqlite3_finalize);
}

// Steps `statement`; false when done. Throws SQLite::Exception.
bool nextRow(SQLite::Database& db, sqlite3_stmt* statement) {
    const int step = sqlite3_step(statement);
    if (step == SQLITE_DONE)
        return false;
    if (step != SQLITE_ROW)
        throw SQLite::Exception(db.getHandle(), step);
    return true;
}

// A kept statement is reset on every way out, so that it never holds the
// file's read lock between lookups.
struct Resetting {
    sqlite3_stmt* statement;
    ~Resetting() {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }
};

std::int64_t storedOrder(std::int64_t value) {
    return std::clamp<std::int64_t>(value, -ModelContext::largestOrder, ModelContext::largestOrder);
}

// The record of a row of recordQuery(): the identifier, then the nine properties.
PinnedFolderPtr recordOf(sqlite3_stmt* row) {
    auto isNull = [row](int column) { return sqlite3_column_type(row, column) == SQLITE_NULL; };
    std::optional<Bytes> bookmark;
    if (!isNull(2))
        bookmark = columnBytes(row, 2);
    // A damaged or edited file may hold any value; one out of range is
    // clamped rather than taken for damage of the whole store, which
    // would lose every other record's earlier date. Orders and dates
    // then stay where the pin-date arithmetic cannot overflow.
    std::optional<Date> originalAddedDate;
    if (!isNull(3))
        originalAddedDate = storedOriginalDate(sqlite3_column_double(row, 3));
    auto record = std::make_shared<PinnedFolder>(
        columnText(row, 1), std::move(bookmark), originalAddedDate,
        storedOrder(sqlite3_column_int64(row, 4)), storedDate(sqlite3_column_double(row, 5)));
    record->setIsMissing(sqlite3_column_int64(row, 6) != 0);
    record->setNeedsAccess(sqlite3_column_int64(row, 7) != 0);
    record->setIsLocked(sqlite3_column_int64(row, 8) != 0);
    record->setIsUnpinPending(sqlite3_column_int64(row, 9) != 0);
    record->assignPersistentIdentifier(sqlite3_column_int64(row, 0));
    return record;
}

} // namespace

const std::int64_t ModelContext::largestOrder =
    static_cast<std::int64_t>((pinBaseDate - pinnedThreshold) / pinOrderStep) - 1;

void ModelContext::Finalizer::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

ModelContext::ModelContext(SQLite::Database* db) : db_(db), whole_(db == nullptr) {}

ModelContext::~ModelContext() {
    // Records may outlive the context; they must not call back into it.
    for (auto& [identifier, entry] : live_)
        entry.record->observers().remove(entry.token);
}

template <typename Body> auto ModelContext::reading(Body&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const SQLite::Exception& e) {
        throw StoreError(std::string("cannot read the store: ") + e.what(),
                         e.getExtendedErrorCode(), sqlite3_system_errno(db_->getHandle()));
    }
}

void ModelContext::load() {
    // The records stay in the file until asked for: most commands touch one.
    whole_ = false;
    // Identifiers of deleted records are never handed out again.
    lastIdentifier_ = db_->execAndGet("SELECT ifnull(max(id), 0) FROM PinnedFolder").getInt64();
    SQLite::Statement sequence(*db_, "SELECT seq FROM sqlite_sequence WHERE name = 'PinnedFolder'");
    if (sequence.executeStep())
        lastIdentifier_ = std::max(lastIdentifier_, sequence.getColumn(0).getInt64());
}

std::string ModelContext::recordQuery(const char* condition) {
    // A store made before the pending-unpin flag gains its column on opening
    // (StoreSchema::migrate); until then its records read as not pending.
    if (!hasPendingFlag_) {
        SQLite::Statement info(*db_, "SELECT 1 FROM pragma_table_info('PinnedFolder') "
                                     "WHERE name = 'isUnpinPending'");
        hasPendingFlag_ = info.executeStep();
    }
    std::string columns = columnList;
    if (!*hasPendingFlag_)
        columns.replace(columns.find("isUnpinPending"), std::string("isUnpinPending").size(), "0");
    std::string query = std::string("SELECT id, ") + columns + " FROM PinnedFolder";
    if (condition)
        query += std::string(" WHERE ") + condition;
    return query;
}

bool ModelContext::isRead(std::int64_t identifier) const {
    return live_.contains(identifier) || deleted_.contains(identifier);
}

PinnedFolderPtr ModelContext::adopt(sqlite3_stmt* row) {
    const std::int64_t identifier = sqlite3_column_int64(row, 0);
    // One object per record: a row read again is the record held already,
    // whose unsaved changes are newer than the row.
    if (auto found = live_.find(identifier); found != live_.end())
        return found->second.record;
    if (deleted_.contains(identifier))
        return nullptr;
    auto record = recordOf(row);
    track(record);
    return record;
}

void ModelContext::loadWhole() {
    if (whole_)
        return;
    // The records read from here on need no place in byOrder_.
    whole_ = true;
    try {
        reading([&] {
            auto rows = prepare(*db_, recordQuery(nullptr));
            while (nextRow(*db_, rows.get()))
                adopt(rows.get());
        });
    } catch (...) {
        // Those read stay read; the rest waits for the next attempt.
        whole_ = false;
        byOrder_.clear();
        for (const auto& [identifier, entry] : live_)
            byOrder_.emplace(entry.order, identifier);
        throw;
    }
    sorted_.clear();
    sorted_.reserve(live_.size());
    for (const auto& [identifier, entry] : live_)
        sorted_.push_back(entry.record);
    std::sort(sorted_.begin(), sorted_.end(), fetchOrder);
    // From here on the records alone answer every lookup.
    byOrder_.clear();
    unreadTop_ = {};
    withoutIdentity_.reset();
    identityQuery_.reset();
}

std::size_t ModelContext::positionOf(const PinnedFolderPtr& record) const {
    if (!whole_)
        return 0;
    // The sort key of a live record is current, so a binary search finds it.
    auto at = std::lower_bound(sorted_.begin(), sorted_.end(), record, fetchOrder);
    return static_cast<std::size_t>(at - sorted_.begin());
}

void ModelContext::notify(ModelChange::Kind kind, const PinnedFolderPtr& record,
                          std::optional<PinnedFolder::Field> field, std::size_t position,
                          std::size_t previous) {
    changes_.notify(ModelChange{kind, record, field, position, previous});
}

std::optional<platform::FolderIdentity> ModelContext::identityOf(const Bytes& bookmark) {
    // The layout Bookmark::encode writes: "SKBM", a version byte, device and
    // inode (8 bytes each, little-endian); version 2 then a flag byte and the
    // birth time (8 bytes of seconds, 4 of nanoseconds).
    constexpr std::size_t identityAt = 5;
    if (bookmark.size() < identityAt + 16 || std::memcmp(bookmark.data(), "SKBM", 4) != 0)
        return std::nullopt;
    const std::uint8_t version = bookmark[4];
    if (version != 1 && version != 2)
        return std::nullopt;
    platform::FolderIdentity identity;
    identity.device = littleEndian(bookmark, identityAt, 8);
    identity.inode = littleEndian(bookmark, identityAt + 8, 8);
    if (version == 2) {
        if (bookmark.size() < identityAt + 29)
            return std::nullopt;
        if (bookmark[identityAt + 16] == 1)
            identity.birth =
                TimeSpec{static_cast<std::int64_t>(littleEndian(bookmark, identityAt + 17, 8)),
                         static_cast<std::int64_t>(littleEndian(bookmark, identityAt + 25, 4))};
    }
    return identity;
}

void ModelContext::index(std::int64_t identifier, std::optional<IdentityKey>& key,
                         const PinnedFolder& record) {
    auto identity = record.bookmark() ? identityOf(*record.bookmark()) : std::nullopt;
    if (!identity)
        return;
    key = IdentityKey{identity->device, identity->inode};
    byIdentity_.emplace(*key, identifier);
}

void ModelContext::unindex(std::int64_t identifier, std::optional<IdentityKey>& key) {
    if (!key)
        return;
    auto [first, last] = byIdentity_.equal_range(*key);
    for (auto at = first; at != last; ++at)
        if (at->second == identifier) {
            byIdentity_.erase(at);
            break;
        }
    key.reset();
}

std::vector<PinnedFolderPtr>
ModelContext::fetchByIdentity(const platform::FolderIdentity& identity) {
    if (!whole_)
        reading([&] {
            // The rows not read yet that name this folder join the records
            // read; those read answer from memory, where they may have changed.
            if (!identityQuery_)
                identityQuery_.reset(
                    prepare(*db_, recordQuery("folderDevice = ?1 AND folderInode = ?2")).release());
            sqlite3_stmt* query = identityQuery_.get();
            Resetting reset{query};
            // SQLite integers are signed: the bits are kept, the sign means nothing.
            sqlite3_bind_int64(query, 1, static_cast<std::int64_t>(identity.device));
            sqlite3_bind_int64(query, 2, static_cast<std::int64_t>(identity.inode));
            while (nextRow(*db_, query))
                adopt(query);
        });
    std::vector<PinnedFolderPtr> found;
    auto [first, last] = byIdentity_.equal_range(IdentityKey{identity.device, identity.inode});
    for (auto at = first; at != last; ++at) {
        const auto& record = live_.at(at->second).record;
        // A new folder on a reused inode is another folder.
        auto stored = identityOf(*record->bookmark());
        if (stored->birth && identity.birth && *stored->birth != *identity.birth)
            continue;
        found.push_back(record);
    }
    std::sort(found.begin(), found.end(), fetchOrder);
    return found;
}

std::vector<PinnedFolderPtr> ModelContext::fetchWithoutIdentity() {
    if (!whole_)
        reading([&] {
            auto rows = prepare(*db_, recordQuery("folderDevice IS NULL"));
            while (nextRow(*db_, rows.get()))
                adopt(rows.get());
        });
    std::vector<PinnedFolderPtr> found;
    for (const auto& [identifier, entry] : live_)
        if (!entry.key)
            found.push_back(entry.record);
    std::sort(found.begin(), found.end(), fetchOrder);
    return found;
}

std::size_t ModelContext::recordsWithoutIdentity() {
    std::size_t count = live_.size() - byIdentity_.size();
    if (whole_)
        return count;
    if (!withoutIdentity_)
        reading([&] {
            std::vector<std::int64_t> identifiers;
            SQLite::Statement rows(*db_, "SELECT id FROM PinnedFolder WHERE folderDevice IS NULL");
            while (rows.executeStep())
                identifiers.push_back(rows.getColumn(0).getInt64());
            withoutIdentity_ = std::move(identifiers);
        });
    for (auto identifier : *withoutIdentity_)
        if (!isRead(identifier))
            ++count;
    return count;
}

std::optional<std::int64_t> ModelContext::highestOrder() {
    if (whole_) {
        if (sorted_.empty())
            return std::nullopt;
        return sorted_.back()->order();
    }
    if (!unreadTop_.known || (unreadTop_.row && isRead(unreadTop_.row->second)))
        reading([&] {
            // Down the order index from the last row seen, past rows read since.
            const bool below = unreadTop_.row.has_value();
            SQLite::Statement rows(*db_, std::string(R"(SELECT "order", id FROM PinnedFolder )") +
                                             (below ? R"(WHERE ("order", id) < (?, ?) )" : "") +
                                             R"(ORDER BY "order" DESC, id DESC)");
            if (below) {
                rows.bind(1, unreadTop_.row->first);
                rows.bind(2, unreadTop_.row->second);
            }
            unreadTop_.row.reset();
            while (rows.executeStep()) {
                const std::int64_t identifier = rows.getColumn(1).getInt64();
                if (isRead(identifier))
                    continue;
                unreadTop_.row = {rows.getColumn(0).getInt64(), identifier};
                break;
            }
            unreadTop_.known = true;
        });
    std::optional<std::int64_t> highest;
    if (!byOrder_.empty())
        highest = byOrder_.rbegin()->first;
    if (unreadTop_.row)
        highest = std::max(highest.value_or(-largestOrder), storedOrder(unreadTop_.row->first));
    return highest;
}

void ModelContext::track(const PinnedFolderPtr& record) {
    auto token = record->observers().add(
        [this](PinnedFolder& changed, PinnedFolder::Field field) { fieldChanged(changed, field); });
    const auto identifier = *record->persistentIdentifier();
    auto& entry = live_[identifier] = Entry{record, token, std::nullopt, record->order()};
    index(identifier, entry.key, *record);
    if (!whole_)
        byOrder_.emplace(entry.order, identifier);
}

void ModelContext::untrack(std::int64_t identifier) {
    auto found = live_.find(identifier);
    found->second.record->observers().remove(found->second.token);
    unindex(identifier, found->second.key);
    if (!whole_)
        byOrder_.erase({found->second.order, identifier});
    live_.erase(found);
}

void ModelContext::fieldChanged(PinnedFolder& record, PinnedFolder::Field field) {
    auto identifier = *record.persistentIdentifier();
    auto found = live_.find(identifier);
    if (found == live_.end())
        return;
    // A pending insert writes the current values anyway.
    if (!inserted_.contains(identifier))
        updated_.insert(identifier);
    Entry& entry = found->second;
    const PinnedFolderPtr& live = entry.record;
    if (field == PinnedFolder::Field::bookmark) {
        unindex(identifier, entry.key);
        index(identifier, entry.key, *live);
    }
    if (field != PinnedFolder::Field::order) {
        notify(ModelChange::Kind::updated, live, field, positionOf(live));
        return;
    }
    const auto previousOrder = std::exchange(entry.order, live->order());
    if (!whole_) {
        byOrder_.erase({previousOrder, identifier});
        byOrder_.emplace(entry.order, identifier);
        notify(ModelChange::Kind::moved, live, field);
        return;
    }
    // The record's sort key changed: take it out where it was, put it back where it belongs.
    auto old = std::find(sorted_.begin(), sorted_.end(), live);
    const auto previous = static_cast<std::size_t>(old - sorted_.begin());
    sorted_.erase(old);
    const auto position = positionOf(live);
    sorted_.insert(sorted_.begin() + static_cast<std::ptrdiff_t>(position), live);
    notify(ModelChange::Kind::moved, live, field, position, previous);
}

std::vector<PinnedFolderPtr> ModelContext::fetchAll() {
    loadWhole();
    return sorted_;
}

void ModelContext::insert(const PinnedFolderPtr& record) {
    if (!record)
        throw std::invalid_argument("cannot insert a null record");
    if (auto identifier = record->persistentIdentifier()) {
        auto found = live_.find(*identifier);
        if (found != live_.end()) {
            if (found->second.record != record)
                throw std::logic_error("another record holds this persistent identifier");
            return;
        }
        if (deleted_.erase(*identifier)) {
            // Taking back a pending deletion: the stored row may be stale.
            updated_.insert(*identifier);
        } else {
            inserted_.insert(*identifier);
            lastIdentifier_ = std::max(lastIdentifier_, *identifier);
        }
    } else {
        record->assignPersistentIdentifier(++lastIdentifier_);
        inserted_.insert(lastIdentifier_);
    }
    track(record);
    const auto position = positionOf(record);
    if (whole_)
        sorted_.insert(sorted_.begin() + static_cast<std::ptrdiff_t>(position), record);
    notify(ModelChange::Kind::inserted, record, std::nullopt, position);
}

void ModelContext::remove(const PinnedFolderPtr& record) {
    if (!record || !record->persistentIdentifier())
        return;
    auto identifier = *record->persistentIdentifier();
    auto found = live_.find(identifier);
    if (found == live_.end() || found->second.record != record)
        return;
    untrack(identifier);
    updated_.erase(identifier);
    if (!inserted_.erase(identifier))
        deleted_.emplace(identifier, record);
    const auto position = positionOf(record);
    if (whole_)
        sorted_.erase(sorted_.begin() + static_cast<std::ptrdiff_t>(position));
    notify(ModelChange::Kind::deleted, record, std::nullopt, position);
}

bool ModelContext::contains(const PinnedFolderPtr& record) const {
    if (!record || !record->persistentIdentifier())
        return false;
    auto found = live_.find(*record->persistentIdentifier());
    return found != live_.end() && found->second.record == record;
}

void ModelContext::checkpoint() {
    // Every save is already folded into the store file by the container.
}

bool ModelContext::hasChanges() const {
    return !inserted_.empty() || !updated_.empty() || !deleted_.empty();
}

void ModelContext::save() {
    if (!hasChanges())
        return;
    if (db_) {
        try {
            saveToDatabase();
        } catch (const SQLite::Exception& e) {
            throw StoreError(std::string("cannot save the store: ") + e.what(),
                             e.getExtendedErrorCode(), sqlite3_system_errno(db_->getHandle()));
        }
        if (saved_) {
            try {
                saved_();
            } catch (...) {
                // The commit went in; only what follows it failed. The
                // changes are in the file and no longer pending, so a caller
                // undoing them writes the undoing.
                inserted_.clear();
                updated_.clear();
                deleted_.clear();
                throw;
            }
        }
    }
    inserted_.clear();
    updated_.clear();
    deleted_.clear();
}

void ModelContext::saveToDatabase() {
    SQLite::Transaction transaction(*db_, SQLite::TransactionBehavior::IMMEDIATE);
    if (!deleted_.empty()) {
        SQLite::Statement statement(*db_, "DELETE FROM PinnedFolder WHERE id = ?");
        for (const auto& [identifier, record] : deleted_) {
            statement.bind(1, identifier);
            statement.exec();
            statement.reset();
        }
    }
    if (!inserted_.empty()) {
        SQLite::Statement statement(*db_, std::string("INSERT INTO PinnedFolder (id, ") +
                                              columnList + ", " + identityColumnList +
                                              ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (auto identifier : inserted_) {
            statement.bind(1, identifier);
            bindFields(statement, 2, *live_.at(identifier).record);
            bindIdentity(statement, 11, *live_.at(identifier).record);
            statement.exec();
            statement.reset();
        }
    }
    if (!updated_.empty()) {
        SQLite::Statement statement(
            *db_, R"(UPDATE PinnedFolder SET path = ?, bookmark = ?, originalAddedDate = ?,
                     "order" = ?, pinnedAt = ?, isMissing = ?, needsAccess = ?, isLocked = ?,
                     isUnpinPending = ?, folderDevice = ?, folderInode = ?, folderBirth = ?
                     WHERE id = ?)");
        for (auto identifier : updated_) {
            bindFields(statement, 1, *live_.at(identifier).record);
            bindIdentity(statement, 10, *live_.at(identifier).record);
            statement.bind(13, identifier);
            statement.exec();
            statement.reset();
        }
    }
    transaction.commit();
}

} // namespace skyloom
