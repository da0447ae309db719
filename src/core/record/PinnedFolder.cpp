#include "core/record/PinnedFolder.h"

#include "core/record/FolderPath.h"

#include <utility>

namespace skyloom {

PinnedFolder::PinnedFolder() : pinnedAt_(currentDate()) {}

PinnedFolder::PinnedFolder(std::string path, std::optional<Bytes> bookmark,
                           std::optional<Date> originalAddedDate, std::int64_t order, Date pinnedAt)
    : path_(std::move(path)), bookmark_(std::move(bookmark)), originalAddedDate_(originalAddedDate),
      order_(order), pinnedAt_(pinnedAt) {}

template <typename T> void PinnedFolder::assign(T& member, T value, Field field) {
    // Setting an equal value is no change: nothing to save, nothing to redraw.
    if (member == value)
        return;
    member = std::move(value);
    observers_.notify(*this, field);
}

void PinnedFolder::setPath(std::string value) {
    assign(path_, std::move(value), Field::path);
}
void PinnedFolder::setBookmark(std::optional<Bytes> value) {
    assign(bookmark_, std::move(value), Field::bookmark);
}
void PinnedFolder::setOriginalAddedDate(std::optional<Date> value) {
    assign(originalAddedDate_, value, Field::originalAddedDate);
}
void PinnedFolder::setOrder(std::int64_t value) {
    assign(order_, value, Field::order);
}
void PinnedFolder::setPinnedAt(Date value) {
    assign(pinnedAt_, value, Field::pinnedAt);
}
void PinnedFolder::setIsMissing(bool value) {
    assign(isMissing_, value, Field::isMissing);
}
void PinnedFolder::setNeedsAccess(bool value) {
    assign(needsAccess_, value, Field::needsAccess);
}
void PinnedFolder::setIsLocked(bool value) {
    assign(isLocked_, value, Field::isLocked);
}
void PinnedFolder::setIsUnpinPending(bool value) {
    assign(isUnpinPending_, value, Field::isUnpinPending);
}

std::string PinnedFolder::displayName() const {
    return FolderPath::displayName(path_);
}

bool sameRecord(const PinnedFolder& a, const PinnedFolder& b) {
    if (a.persistentIdentifier() && b.persistentIdentifier())
        return *a.persistentIdentifier() == *b.persistentIdentifier();
    return &a == &b;
}

} // namespace skyloom
