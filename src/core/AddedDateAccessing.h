#pragma once

#include "core/Date.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace skyloom {

// The date written for the pin of order 0: 2100-01-01 12:00:00 UTC.
inline constexpr Date pinBaseDate = 4102488000.0;
// Subtracted once per unit of a pin's order.
inline constexpr Date pinOrderStep = 60.0;
// Every date at or after 2090-01-01 00:00:00 UTC counts as a pin date.
inline constexpr Date pinnedThreshold = 3786912000.0;

constexpr Date pinDate(std::int64_t order) {
    return pinBaseDate - static_cast<Date>(order) * pinOrderStep;
}

constexpr bool isPinDate(Date date) {
    return date >= pinnedThreshold;
}

// A date as the file system takes it: whole seconds (floor) and nanoseconds
// (rounded half away from zero).
struct TimeSpec {
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;

    friend bool operator==(const TimeSpec&, const TimeSpec&) = default;
};

TimeSpec splitDate(Date date);
// The date of `time`. A time before pinnedThreshold stays before it even
// where the nearest double would round onto it (2089-12-31 23:59:59.999999999).
Date joinDate(TimeSpec time);

// The same test as isPinDate on the exact time a folder carries.
constexpr bool isPinTime(TimeSpec time) {
    return time.seconds >= static_cast<std::int64_t>(pinnedThreshold);
}

// What tells one folder from every other: device and inode, and the birth
// time where the file system keeps one.
struct FolderKey {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::optional<TimeSpec> birth;
};

// Inode and birth time equal; device and inode where either side knows no
// birth time.
bool isSameFolder(const FolderKey& expected, const FolderKey& found);

// The way back a pinned folder carries itself (an extended attribute): its
// exact earlier date and whose it is (inode and birth time, not the device,
// which a volume may change from one mount to the next).
struct EarlierMark {
    TimeSpec earlier;
    std::uint64_t inode = 0;
    std::optional<TimeSpec> birth;

    static EarlierMark of(TimeSpec earlier, const FolderKey& folder);
    bool belongsTo(const FolderKey& folder) const;

    // A small versioned blob; absent for anything else.
    std::string encode() const;
    static std::optional<EarlierMark> decode(const std::string& data);
};

// One folder opened once: every check, read and write of one operation goes
// through it, so a link or another folder swapped into its path meanwhile
// is never touched.
class DatedFolder {
public:
    virtual ~DatedFolder() = default;
    virtual FolderKey key() const = 0;
    virtual TimeSpec read() const = 0;
    // Writes the time and reads it back (see FileSystemAddedDate), then lets
    // watchers of the parent folder know the folder changed.
    virtual void write(TimeSpec time) = 0;
    // The folder's own way back; absent where there is none or the volume
    // keeps no user attributes.
    virtual std::optional<EarlierMark> readMark() const { return std::nullopt; }
    // Does nothing where the volume keeps no user attributes; throws
    // PinError when it should and cannot.
    virtual void writeMark(const EarlierMark&) {}
    virtual void removeMark() {}
};

// Reads and writes a folder's date-added (on Linux: its access time).
class AddedDateAccessing {
public:
    virtual ~AddedDateAccessing() = default;

    // Throws PinError::notFound, notOwner, unsupportedVolume, or a
    // std::system_error it does not recognise.
    virtual Date readAddedDate(const std::string& path) const = 0;

    // Throws PinError::notFound, notOwner, locked, unsupportedVolume or system(errno).
    virtual void writeAddedDate(Date date, const std::string& path) const = 0;

    // Whether a date at or before 1970 that was read is a real date. When it
    // is not, it stands for a volume that keeps no date for the folder.
    virtual bool datesBefore1970AreReal() const { return false; }

    // Whether the metadata read that finds a folder by its identity gives
    // the same date this access reads, so that a pin found intact needs no
    // read of its own.
    virtual bool identityGivesAddedDate() const { return false; }

    // Opens the folder at `path` once and runs `body` with it. Throws as
    // writeAddedDate. This default works on the path for every call and
    // carries no marks; it serves doubles that only count or fake dates.
    virtual void withFolder(const std::string& path,
                            const std::function<void(DatedFolder&)>& body) const;
};

} // namespace skyloom
