#pragma once

#include "core/FolderTraits.h"
#include "core/engine/FileManager.h"
#include "core/engine/FileSystemAddedDate.h"
#include "core/record/PinnedFolder.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace skyloom {

// Where a pinned folder was found: the path to read and write, and the
// folder's date-added when the lookup's own metadata read gave it.
struct PinLocation {
    std::string path;
    std::optional<Date> addedDate;
};

// File systems on which a folder without a date-added still counts as pinnable
// (the date reads as 1970).
inline const std::vector<std::string> supportedZeroDateFileSystems = {"apfs", "hfs"};

// Performs every change that pinning makes to a single folder on disk and
// every check that decides whether it is allowed. Holds no state; the records
// handed to it are changed through their setters.
class PinService {
public:
    using TraitsFunction = std::function<FolderTraits(const std::string& path)>;
    using Pins = std::vector<PinnedFolderPtr>;
    // Whether a record already holds the folder at a normalised path.
    using IsPinned = std::function<bool(const std::string& resolvedPath)>;

    PinService(std::shared_ptr<const AddedDateAccessing> dates,
               std::shared_ptr<const FileManager> fileManager, TraitsFunction traits);

    // The production engine: the file system's dates, the default file
    // manager and readFolderTraits.
    static PinService makeDefault();

    const AddedDateAccessing& dates() const { return *dates_; }

    // The normalised path of a folder that may be pinned. Throws notFound,
    // notAFolder, alreadyPinned, iCloudManaged or unsupportedVolume, in that
    // order; `isPinned` is asked only about an existing folder.
    std::string validatePinnable(const std::string& path, const IsPinned& isPinned) const;
    // The same, a folder counting as pinned when one of `pins` is at its path.
    std::string validate(const std::string& path, const Pins& pins) const;

    // A new record for the folder, not yet stored; nothing changes on disk.
    PinnedFolderPtr makePin(const std::string& path, const Pins& pins, Date now) const;
    // The same for a path validatePinnable() returned, with the given order.
    PinnedFolderPtr makeValidatedPin(const std::string& resolved, std::int64_t order,
                                     Date now) const;

    // Writes the pin date of the record's order to its folder.
    void applyPinDate(const PinnedFolder& pin) const;

    // Re-applies the pin if it drifted and sets the record's status flags.
    // notOwner and locked become flags; other errors propagate.
    void refreshStatus(PinnedFolder& pin) const;

    // Finds the pinned folder (bookmark first, then the stored path), updating
    // path and bookmark when it moved. Absent when no usable folder is found.
    // When the stored path still holds the same folder this costs one
    // metadata read.
    std::optional<PinLocation> resolveLocation(PinnedFolder& pin) const;

    // Runs `body` with the folder's location; returns false without running
    // it when the folder cannot be found, and false when `body` finds
    // another folder there (PinError::notFound).
    bool withPinAccess(PinnedFolder& pin,
                       const std::function<void(const PinLocation&)>& body) const;

    // Re-attaches the pin to the folder the user picked, then refreshes it.
    void regrantAccess(PinnedFolder& pin, const std::string& pickedPath) const;

    // Writes back the original date (or `fallback`) when the folder still
    // carries a pin date: the exact date the folder keeps in its mark where
    // that agrees. Throws notFound when another folder is at `path`.
    void restoreAddedDate(const std::string& path, const PinnedFolder& pin, Date fallback) const;

    // For a pin unpinned while away: restores its folder when it can be
    // found. Returns whether it was found (and restored).
    bool completePendingUnpin(PinnedFolder& pin, Date fallback) const;

    enum class Restored { nothing, fallback, earlierDate };
    // For a folder with no record: writes over a pin date found on it the
    // earlier date the folder keeps itself, else `date`.
    Restored restoreOrphan(const std::string& path, Date date) const;

    // An existing directory outside any Trash.
    bool isUsableFolder(const std::string& path) const;

    // Rewrites the folder's date when it is a second or more off the pin date
    // of the record's order. Returns whether it wrote. A date `seen` by the
    // lookup that found the folder spares the read when it is the pin date;
    // any other date is read again, through the folder's own handle.
    bool reapplyIfNeeded(const std::string& path, PinnedFolder& pin,
                         std::optional<Date> seen = std::nullopt) const;

    // The pin whose folder is at `normalizedPath` (a path given by
    // FolderPath::normalized); null when none is.
    static PinnedFolderPtr matchingPin(const Pins& pins, const std::string& normalizedPath);

    // One more than the largest order in use; 0 for no pins.
    static std::int64_t nextOrder(const Pins& pins);

private:
    // Runs `body` on the folder at `path`, opened once, when it is the
    // pinned folder itself; else throws PinError::notFound.
    void onPinnedFolder(const PinnedFolder& pin, const std::string& path,
                        const std::function<void(DatedFolder&)>& body) const;
    bool isDirectory(const std::string& path) const;
    bool allowsZeroDate(const std::string& path) const;

    std::shared_ptr<const AddedDateAccessing> dates_;
    std::shared_ptr<const FileManager> fileManager_;
    TraitsFunction traits_;
};

} // namespace skyloom
