#include "core/engine/PinService.h"

#include "core/PinError.h"
#include "core/engine/Bookmark.h"
#include "core/platform/FolderRules.h"
#include "core/record/FolderPath.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace skyloom {

PinService::PinService(std::shared_ptr<const AddedDateAccessing> dates,
                       std::shared_ptr<const FileManager> fileManager, TraitsFunction traits)
    : dates_(std::move(dates)), fileManager_(std::move(fileManager)), traits_(std::move(traits)) {}

PinService PinService::makeDefault() {
    return PinService(std::make_shared<FileSystemAddedDate>(), std::make_shared<FileManager>(),
                      readFolderTraits);
}

bool PinService::isDirectory(const std::string& path) const {
    bool directory = false;
    return fileManager_->fileExists(path, directory) && directory;
}

bool PinService::allowsZeroDate(const std::string& path) const {
    const std::string fileSystem = traits_(path).fileSystem;
    return std::find(supportedZeroDateFileSystems.begin(), supportedZeroDateFileSystems.end(),
                     fileSystem) != supportedZeroDateFileSystems.end();
}

bool PinService::isUsableFolder(const std::string& path) const {
    // One existence check answers both questions; it runs for every pin on
    // every re-apply.
    return isDirectory(path) && !platform::isInTrash(path);
}

std::string PinService::validate(const std::string& path, const Pins& pins) const {
    return validatePinnable(
        path, [&](const std::string& resolved) { return matchingPin(pins, resolved) != nullptr; });
}

std::string PinService::validatePinnable(const std::string& path, const IsPinned& isPinned) const {
    std::string resolved = FolderPath::normalized(path);
    // An empty path, or a relative one whose working folder is gone, names
    // no folder (not the working folder, not one under "/").
    if (!resolved.starts_with('/') || !fileManager_->fileExists(resolved))
        throw PinError::notFound();
    if (!isDirectory(resolved))
        throw PinError::notAFolder();
    if (isPinned(resolved))
        throw PinError::alreadyPinned();
    FolderTraits traits = traits_(resolved);
    if (traits.isUbiquitous)
        throw PinError::iCloudManaged();
    if (!traits.isLocalVolume)
        throw PinError::unsupportedVolume(nonLocalProblem(traits));
    return resolved;
}

PinnedFolderPtr PinService::matchingPin(const Pins& pins, const std::string& normalizedPath) {
    for (const auto& pin : pins)
        if (FolderPath::equivalent(pin->path(), normalizedPath))
            return pin;
    return nullptr;
}

std::int64_t PinService::nextOrder(const Pins& pins) {
    if (pins.empty())
        return 0;
    auto highest = std::max_element(pins.begin(), pins.end(), [](const auto& a, const auto& b) {
        return a->order() < b->order();
    });
    return (*highest)->order() + 1;
}

PinnedFolderPtr PinService::makePin(const std::string& path, const Pins& pins, Date now) const {
    return makeValidatedPin(validate(path, pins), nextOrder(pins), now);
}

PinnedFolderPtr PinService::makeValidatedPin(const std::string& resolved, std::int64_t order,
                                             Date now) const {
    // The identity kept and the earlier date read come from one handle, so
    // they are of one folder.
    std::optional<FolderKey> key;
    std::optional<TimeSpec> earlier;
    try {
        dates_->withFolder(resolved, [&](DatedFolder& folder) {
            key = folder.key();
            earlier = folder.read();
        });
    } catch (const PinError& error) {
        if (!(error == PinError::unsupportedVolume()) || !allowsZeroDate(resolved))
            throw;
        earlier = TimeSpec{};
    }
    if (joinDate(*earlier) <= 0 && !dates_->datesBefore1970AreReal() && !allowsZeroDate(resolved))
        throw PinError::unsupportedVolume();
    std::optional<Date> kept;
    if (!isPinTime(*earlier))
        kept = joinDate(*earlier);
    auto bookmark =
        key ? std::optional<Bytes>(Bookmark::encode(
                  Bookmark::Identity{key->device, key->inode, key->birth, std::nullopt}, resolved))
            : Bookmark::make(resolved);
    return std::make_shared<PinnedFolder>(resolved, std::move(bookmark), kept, order, now);
}

void PinService::onPinnedFolder(const PinnedFolder& pin, const std::string& path,
                                const std::function<void(DatedFolder&)>& body) const {
    const auto expected = pin.bookmark() ? Bookmark::key(*pin.bookmark()) : std::nullopt;
    dates_->withFolder(path, [&](DatedFolder& folder) {
        // Checked on the handle that writes: whatever is at the path now, a
        // link or a folder put in the pinned one's place, is not written.
        if (expected && !isSameFolder(*expected, folder.key()))
            throw PinError::notFound();
        body(folder);
    });
}

namespace {

// Before a pin date goes over an ordinary date, the folder keeps that date
// itself. A folder already at a pin date keeps the mark it has: the first
// pin's earlier date is the one to go back to.
void markEarlierDate(DatedFolder& folder, TimeSpec current) {
    if (!isPinTime(current))
        folder.writeMark(EarlierMark::of(current, folder.key()));
}

} // namespace

void PinService::applyPinDate(const PinnedFolder& pin) const {
    onPinnedFolder(pin, pin.path(), [&](DatedFolder& folder) {
        markEarlierDate(folder, folder.read());
        folder.write(splitDate(pinDate(pin.order())));
    });
}

std::optional<PinLocation> PinService::resolveLocation(PinnedFolder& pin) const {
    if (pin.bookmark()) {
        if (auto resolution = Bookmark::resolve(*pin.bookmark())) {
            // The stored path, resolved when it was stored, still holds the
            // same folder: the one metadata read of resolve() said so.
            if (!resolution->isStale && resolution->path == pin.path() &&
                !platform::isInTrash(pin.path()))
                return PinLocation{pin.path(), dates_->identityGivesAddedDate()
                                                   ? resolution->addedDate
                                                   : std::nullopt};
            // Followed only along a path without links: a link swapped in
            // this moment leads to another folder. The pin keeps the
            // identity it was made with; only its path changes.
            const std::string& found = resolution->path;
            auto key = Bookmark::key(*pin.bookmark());
            if (key && FolderPath::normalized(found) == found && isUsableFolder(found)) {
                if (found != pin.path() || resolution->isStale) {
                    pin.setPath(found);
                    pin.setBookmark(Bookmark::encode(
                        Bookmark::Identity{key->device, key->inode, key->birth, std::nullopt},
                        found));
                }
                return PinLocation{found, std::nullopt};
            }
        }
        // The folder that was pinned is not where it was, nor renamed beside
        // it; whatever is at the path now is another folder.
        if (Bookmark::key(*pin.bookmark()))
            return std::nullopt;
    }
    if (isUsableFolder(pin.path()))
        return PinLocation{pin.path(), std::nullopt};
    return std::nullopt;
}

bool PinService::withPinAccess(PinnedFolder& pin,
                               const std::function<void(const PinLocation&)>& body) const {
    // Folders here need no security scope: the location's path is used as is.
    auto location = resolveLocation(pin);
    if (!location)
        return false;
    try {
        body(*location);
    } catch (const PinError& error) {
        // A link in the path, or another folder in the pinned one's place:
        // the pinned folder cannot be reached there, and nothing was written.
        if (error == PinError::notFound())
            return false;
        throw;
    }
    return true;
}

bool PinService::reapplyIfNeeded(const std::string& path, PinnedFolder& pin,
                                 std::optional<Date> seen) const {
    const Date expected = pinDate(pin.order());
    // The common case on every re-apply: nothing to read again, nothing to
    // write. Only writes need the folder opened without links.
    if (seen && std::fabs(*seen - expected) < 1.0)
        return false;
    bool wrote = false;
    onPinnedFolder(pin, path, [&](DatedFolder& folder) {
        const TimeSpec current = folder.read();
        if (std::fabs(joinDate(current) - expected) < 1.0)
            return;
        if (!isPinTime(current)) {
            // The store saves the new earlier date here, before the write;
            // a failed save throws and nothing is written.
            pin.setOriginalAddedDate(joinDate(current));
            markEarlierDate(folder, current);
        }
        folder.write(splitDate(expected));
        wrote = true;
    });
    return wrote;
}

void PinService::refreshStatus(PinnedFolder& pin) const {
    bool found = false;
    try {
        found = withPinAccess(pin, [&](const PinLocation& location) {
            reapplyIfNeeded(location.path, pin, location.addedDate);
        });
    } catch (const PinError& error) {
        // A read-only mount is access the user can give back, like ownership.
        if (error == PinError::notOwner() ||
            error.volumeProblem() == PinError::VolumeProblem::readOnly) {
            pin.setIsMissing(false);
            pin.setNeedsAccess(true);
            return;
        }
        if (error == PinError::locked()) {
            pin.setIsMissing(false);
            pin.setNeedsAccess(false);
            pin.setIsLocked(true);
            return;
        }
        throw;
    }
    pin.setIsMissing(!found);
    pin.setNeedsAccess(false);
    pin.setIsLocked(false);
}

void PinService::regrantAccess(PinnedFolder& pin, const std::string& pickedPath) const {
    std::string resolved = FolderPath::normalized(pickedPath);
    if (!isDirectory(resolved))
        throw PinError::notAFolder();
    pin.setPath(resolved);
    pin.setBookmark(Bookmark::make(resolved));
    refreshStatus(pin);
}

namespace {

// Puts the earlier date back on a folder at a pin date: the folder's own
// exact date when its mark agrees with the record (or there is no record of
// one), else the record's, else `fallback`. The mark goes once the pin is undone.
PinService::Restored restoreOn(DatedFolder& folder, std::optional<Date> recorded, Date fallback) {
    const TimeSpec current = folder.read();
    auto mark = folder.readMark();
    const bool hadMark = mark.has_value();
    if (mark && !mark->belongsTo(folder.key()))
        mark.reset(); // copied along with a folder that was pinned
    // The record's double is half a microsecond coarse near 2090.
    if (mark && recorded && std::fabs(joinDate(mark->earlier) - *recorded) >= 1e-5)
        mark.reset();
    auto restored = PinService::Restored::nothing;
    if (isPinTime(current)) {
        TimeSpec target = splitDate(recorded.value_or(fallback));
        restored = recorded ? PinService::Restored::earlierDate : PinService::Restored::fallback;
        if (mark) {
            target = mark->earlier;
            restored = PinService::Restored::earlierDate;
        }
        folder.write(target);
    }
    if (hadMark)
        folder.removeMark();
    return restored;
}

} // namespace

void PinService::restoreAddedDate(const std::string& path, const PinnedFolder& pin,
                                  Date fallback) const {
    onPinnedFolder(pin, path, [&](DatedFolder& folder) {
        restoreOn(folder, pin.originalAddedDate(), fallback);
    });
}

bool PinService::completePendingUnpin(PinnedFolder& pin, Date fallback) const {
    return withPinAccess(
        pin, [&](const PinLocation& location) { restoreAddedDate(location.path, pin, fallback); });
}

PinService::Restored PinService::restoreOrphan(const std::string& path, Date date) const {
    std::string resolved = FolderPath::normalized(path);
    if (!isDirectory(resolved))
        return Restored::nothing;
    auto restored = Restored::nothing;
    dates_->withFolder(
        resolved, [&](DatedFolder& folder) { restored = restoreOn(folder, std::nullopt, date); });
    return restored;
}

} // namespace skyloom
