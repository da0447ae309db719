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

// Columns are read from the raw statement: a store of a thousand records is
// loaded on every start of the command line.
Bytes columnBytes(sqlite3_stmt* row, int column) {
    auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(row, column));
    return data ? Bytes(data, data + sqlite3_column_bytes(row, column)) : Bytes{};
}

std::string columnText(sqlite3_stmt* row, int column) {
    auto* data = static_cast<const char*>(sqlite3_column_blob(row, column));
    return data ? std::string(data, static_cast<std::size_t>(sqlite3_column_bytes(row, column)))
                : std::string();
}

} // namespace

const std::int64_t ModelContext::largestOrder =
    static_cast<std::int64_t>((pinBaseDate - pinnedThreshold) / pinOrderStep) - 1;

ModelContext::ModelContext(SQLite::Database* db) : db_(db) {}

ModelContext::~ModelContext() {
    // Records may outlive the context; they must not call back into it.
    for (auto& [identifier, entry] : live_)
        entry.record->observers().remove(entry.token);
}

void ModelContext::load() {
    // A store made before the pending-unpin flag gains its column only after
    // it has been read whole (StoreSchema::migrate): read it as not pending.
    bool hasPendingFlag = false;
    {
        SQLite::Statement info(*db_, "SELECT 1 FROM pragma_table_info('PinnedFolder') "
                                     "WHERE name = 'isUnpinPending'");
        hasPendingFlag = info.executeStep();
    }
    std::string columns = columnList;
    if (!hasPendingFlag)
        columns.replace(columns.find("isUnpinPending"), std::string("isUnpinPending").size(), "0");
    const std::string query = std::string("SELECT id, ") + columns + " FROM PinnedFolder";
    sqlite3_stmt* prepared = nullptr;
    if (sqlite3_prepare_v2(db_->getHandle(), query.c_str(), -1, &prepared, nullptr) != SQLITE_OK)
        throw SQLite::Exception(db_->getHandle());
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> rows(prepared, &sqlite3_finalize);
    sqlite3_stmt* row = rows.get();
    auto isNull = [row](int column) { return sqlite3_column_type(row, column) == SQLITE_NULL; };
    for (int step; (step = sqlite3_step(row)) != SQLITE_DONE;) {
        if (step != SQLITE_ROW)
            throw SQLite::Exception(db_->getHandle(), step);
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
            std::clamp<std::int64_t>(sqlite3_column_int64(row, 4), -largestOrder, largestOrder),
            storedDate(sqlite3_column_double(row, 5)));
        record->setIsMissing(sqlite3_column_int64(row, 6) != 0);
        record->setNeedsAccess(sqlite3_column_int64(row, 7) != 0);
        record->setIsLocked(sqlite3_column_int64(row, 8) != 0);
        record->setIsUnpinPending(sqlite3_column_int64(row, 9) != 0);
        std::int64_t identifier = sqlite3_column_int64(row, 0);
        record->assignPersistentIdentifier(identifier);
        lastIdentifier_ = std::max(lastIdentifier_, identifier);
        track(record);
        sorted_.push_back(record);
    }
    std::sort(sorted_.begin(), sorted_.end(), fetchOrder);
    // Identifiers of deleted records are never handed out again.
    SQLite::Statement sequence(*db_, "SELECT seq FROM sqlite_sequence WHERE name = 'PinnedFolder'");
    if (sequence.executeStep())
        lastIdentifier_ = std::max(lastIdentifier_, sequence.getColumn(0).getInt64());
}

std::size_t ModelContext::positionOf(const PinnedFolderPtr& record) const {
    // The sort key of a live record is current, so a binary search finds it.
    auto at = std::lower_bound(sorted_.begin(), sorted_.end(), record, fetchOrder);
    return static_cast<std::size_t>(at - sorted_.begin());
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
ModelContext::fetchByIdentity(const platform::FolderIdentity& identity) const {
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

std::optional<std::int64_t> ModelContext::highestOrder() const {
    if (sorted_.empty())
        return std::nullopt;
    return sorted_.back()->order();
}

void ModelContext::track(const PinnedFolderPtr& record) {
    auto token = record->observers().add(
        [this](PinnedFolder& changed, PinnedFolder::Field field) { fieldChanged(changed, field); });
    const auto identifier = *record->persistentIdentifier();
    auto& entry = live_[identifier] = Entry{record, token, std::nullopt};
    index(identifier, entry.key, *record);
}

void ModelContext::untrack(std::int64_t identifier) {
    auto found = live_.find(identifier);
    found->second.record->observers().remove(found->second.token);
    unindex(identifier, found->second.key);
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
    const PinnedFolderPtr& live = found->second.record;
    if (field == PinnedFolder::Field::bookmark) {
        unindex(identifier, found->second.key);
        index(identifier, found->second.key, *live);
    }
    if (field != PinnedFolder::Field::order) {
        changes_.notify(ModelChange{ModelChange::Kind::updated, live, field, positionOf(live)});
        return;
    }
    // The record's sort key changed: take it out where it was, put it back where it belongs.
    auto old = std::find(sorted_.begin(), sorted_.end(), live);
    const auto previous = static_cast<std::size_t>(old - sorted_.begin());
    sorted_.erase(old);
    const auto position = positionOf(live);
    sorted_.insert(sorted_.begin() + static_cast<std::ptrdiff_t>(position), live);
    changes_.notify(ModelChange{ModelChange::Kind::moved, live, field, position, previous});
}

std::vector<PinnedFolderPtr> ModelContext::fetchAll() {
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
    sorted_.insert(sorted_.begin() + static_cast<std::ptrdiff_t>(position), record);
    changes_.notify(ModelChange{ModelChange::Kind::inserted, record, std::nullopt, position});
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
    sorted_.erase(sorted_.begin() + static_cast<std::ptrdiff_t>(position));
    changes_.notify(ModelChange{ModelChange::Kind::deleted, record, std::nullopt, position});
}

bool ModelContext::contains(const PinnedFolderPtr& record) const {
    if (!record || !record->persistentIdentifier())
        return false;
    auto found = live_.find(*record->persistentIdentifier());
    return found != live_.end() && found->second.record == record;
}

void ModelContext::checkpoint() {
    // Every commit already lands in the store file (rollback journal).
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
        if (saved_)
            saved_();
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
