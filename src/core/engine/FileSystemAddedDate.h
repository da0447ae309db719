#pragma once

#include "core/Date.h"

#include <cstdint>
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
Date joinDate(TimeSpec time);

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
};

// The production access through the operating system. The folder is opened
// once per call (a symbolic link in its path is refused as notFound) and
// every write is read back through that one handle: a volume that silently
// caps or rounds the date beyond its own granularity gets its previous value
// back and the write fails with unsupportedVolume.
class FileSystemAddedDate final : public AddedDateAccessing {
public:
    Date readAddedDate(const std::string& path) const override;
    void writeAddedDate(Date date, const std::string& path) const override;
    bool datesBefore1970AreReal() const override;
    bool identityGivesAddedDate() const override;
};

} // namespace skyloom
