#include "core/engine/PinService.h"

#include "core/engine/Bookmark.h"
#include "core/engine/FolderPath.h"
#include "core/engine/PinError.h"
#include "core/platform/FolderRules.h"

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
    std::string resolved = FolderPath::normalized(path);
    // An empty path, or a relative one whose working folder is gone, names
    // no folder (not the working folder, not one under "/").
    if (!resolved.starts_with('/') || !fileManager_->fileExists(resolved))
        throw PinError::notFound();
    if (!isDirectory(resolved))
        throw PinError::notAFolder();
    if (matchingPin(pins, resolved))
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
    std::string resolved = validate(path, pins);
    Date earlier = 0;
    try {
        earlier = dates_->readAddedDate(resolved);
    } catch (const PinError& error) {
        if (!(error == PinError::unsupportedVolume()) || !allowsZeroDate(resolved))
            throw;
        earlier = 0;
    }
    if (earlier <= 0 && !dates_->datesBefore1970AreReal() && !allowsZeroDate(resolved))
        throw PinError::unsupportedVolume();
    std::optional<Date> kept;
    if (earlier < pinnedThreshold)
        kept = earlier;
    return std::make_shared<PinnedFolder>(resolved, Bookmark::make(resolved), kept, nextOrder(pins),
                                          now);
}

void PinService::applyPinDate(const PinnedFolder& pin) const {
    dates_->writeAddedDate(pinDate(pin.order()), pin.path());
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
            const std::string& found = resolution->path;
            std::string normalized = FolderPath::normalized(found);
            if (isUsableFolder(normalized)) {
                if (normalized != pin.path() || resolution->isStale) {
                    pin.setPath(normalized);
                    // Keep the old bookmark when a new one cannot be made.
                    if (auto fresh = Bookmark::make(found))
                        pin.setBookmark(std::move(fresh));
                }
                return PinLocation{normalized, std::nullopt};
            }
        }
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
        // Dates are reached only through paths without links. A folder above
        // the pin replaced by a link to where it went still holds the pin:
        // follow it once, and keep the path it leads to.
        std::string resolved = FolderPath::normalized(location->path);
        if (error != PinError::notFound() || resolved == location->path ||
            !isUsableFolder(resolved))
            throw;
        pin.setPath(resolved);
        if (auto fresh = Bookmark::make(resolved))
            pin.setBookmark(std::move(fresh));
        body(PinLocation{resolved, std::nullopt});
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
    const Date current = dates_->readAddedDate(path);
    if (std::fabs(current - expected) < 1.0)
        return false;
    if (current < pinnedThreshold)
        pin.setOriginalAddedDate(current);
    dates_->writeAddedDate(expected, path);
    return true;
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

void PinService::restoreAddedDate(const std::string& path, const PinnedFolder& pin,
                                  Date fallback) const {
    const Date current = dates_->readAddedDate(path);
    if (current >= pinnedThreshold)
        dates_->writeAddedDate(pin.originalAddedDate().value_or(fallback), path);
}

bool PinService::restoreOrphan(const std::string& path, Date date) const {
    std::string resolved = FolderPath::normalized(path);
    if (!isDirectory(resolved))
        return false;
    const Date current = dates_->readAddedDate(resolved);
    if (current < pinnedThreshold)
        return false;
    dates_->writeAddedDate(date, resolved);
    return true;
}

} // namespace skyloom
