#pragma once

#include "core/Date.h"
#include "core/ObserverList.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace skyloom {

using Bytes = std::vector<std::uint8_t>;

// The record of one pinned folder. Observable: every setter that changes a
// value notifies the record's observers with the field it changed. Identity is
// the persistent identifier the store assigns on insert.
class PinnedFolder {
public:
    enum class Field {
        path,
        bookmark,
        originalAddedDate,
        order,
        pinnedAt,
        isMissing,
        needsAccess,
        isLocked,
        isUnpinPending,
    };

    // A record with every default: empty path, no bookmark, no original date,
    // order 0, pinned now, all flags false.
    PinnedFolder();
    PinnedFolder(std::string path, std::optional<Bytes> bookmark,
                 std::optional<Date> originalAddedDate, std::int64_t order, Date pinnedAt);

    PinnedFolder(const PinnedFolder&) = delete;
    PinnedFolder& operator=(const PinnedFolder&) = delete;

    const std::string& path() const { return path_; }
    const std::optional<Bytes>& bookmark() const { return bookmark_; }
    const std::optional<Date>& originalAddedDate() const { return originalAddedDate_; }
    std::int64_t order() const { return order_; }
    Date pinnedAt() const { return pinnedAt_; }
    bool isMissing() const { return isMissing_; }
    bool needsAccess() const { return needsAccess_; }
    bool isLocked() const { return isLocked_; }
    // Unpinned while its folder could not be reached: the next time the
    // folder is found, its earlier date goes back and the record goes.
    bool isUnpinPending() const { return isUnpinPending_; }

    void setPath(std::string value);
    void setBookmark(std::optional<Bytes> value);
    void setOriginalAddedDate(std::optional<Date> value);
    void setOrder(std::int64_t value);
    void setPinnedAt(Date value);
    void setIsMissing(bool value);
    void setNeedsAccess(bool value);
    void setIsLocked(bool value);
    void setIsUnpinPending(bool value);

    // The file manager's name for `path`, in Unicode NFC.
    std::string displayName() const;

    // Assigned by the model store when the record is inserted; absent before.
    std::optional<std::int64_t> persistentIdentifier() const { return persistentIdentifier_; }
    void assignPersistentIdentifier(std::int64_t identifier) { persistentIdentifier_ = identifier; }

    using Observers = ObserverList<PinnedFolder&, Field>;
    Observers& observers() { return observers_; }

private:
    template <typename T> void assign(T& member, T value, Field field);

    std::string path_;
    std::optional<Bytes> bookmark_;
    std::optional<Date> originalAddedDate_;
    std::int64_t order_ = 0;
    Date pinnedAt_ = 0;
    bool isMissing_ = false;
    bool needsAccess_ = false;
    bool isLocked_ = false;
    bool isUnpinPending_ = false;

    std::optional<std::int64_t> persistentIdentifier_;
    Observers observers_;
};

using PinnedFolderPtr = std::shared_ptr<PinnedFolder>;

// Records are equal when they denote the same stored record; a record not yet
// stored equals only itself.
bool sameRecord(const PinnedFolder& a, const PinnedFolder& b);

struct SchemaVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;

    friend bool operator==(const SchemaVersion&, const SchemaVersion&) = default;
};

struct PropertyDescription {
    const char* name;
    const char* type;
    const char* defaultValue;
};

// Version 1.0.0 of the store's schema: the one model PinnedFolder. The last
// property was added to stores of 1.0.0 in place (a column with a default).
struct SchemaV1 {
    static constexpr SchemaVersion versionIdentifier{1, 0, 0};
    static constexpr std::array<const char*, 1> models{"PinnedFolder"};
    static constexpr std::array<PropertyDescription, 9> properties{{
        {"path", "String", "\"\""},
        {"bookmark", "Data?", "nil"},
        {"originalAddedDate", "Date?", "nil"},
        {"order", "Int64", "0"},
        {"pinnedAt", "Date", "now"},
        {"isMissing", "Bool", "false"},
        {"needsAccess", "Bool", "false"},
        {"isLocked", "Bool", "false"},
        {"isUnpinPending", "Bool", "false"},
    }};
};

} // namespace skyloom
