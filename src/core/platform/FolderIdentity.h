#pragma once

#include "core/AddedDateAccessing.h"

#include <cstdint>
#include <optional>
#include <string>

namespace skyloom::platform {

// What tells one folder from every other: device and inode, and the birth
// time where the file system keeps one, so that a new folder on a reused
// inode is not taken for the old one.
struct FolderIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::optional<TimeSpec> birth;
    // The folder's date-added as FileSystemAddedDate reads it, where the
    // same metadata read gives it (Linux: the access time); absent elsewhere.
    std::optional<Date> addedDate;
};

// Whether folderIdentity() gives the folder's date-added along with it.
extern const bool identityGivesAddedDate;

// The identity of the directory at `path` (a link at the path is followed)
// in one metadata read; absent when nothing or no directory is there.
std::optional<FolderIdentity> folderIdentity(const std::string& path);

} // namespace skyloom::platform
