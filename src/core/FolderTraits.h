#pragma once

#include "core/PinError.h"

#include <string>

namespace skyloom {

// The type name a volume that reports none is taken to have: "apfs" on macOS;
// empty (unknown) on Linux.
extern const char* const assumedFileSystem;

// The facts about a folder and its volume on which pinning is allowed or refused.
struct FolderTraits {
    bool isUbiquitous = false;
    bool isLocalVolume = true;
    std::string fileSystem = assumedFileSystem; // lower case

    friend bool operator==(const FolderTraits&, const FolderTraits&) = default;
};

// Reads the traits of the folder at `path`. Never fails: facts that cannot be
// read keep the defaults above (not ubiquitous, local, assumedFileSystem).
// A pseudo file system (proc, sysfs, devtmpfs...) counts as no local volume:
// it keeps no dates.
FolderTraits readFolderTraits(const std::string& path);

// Why a volume that is not local takes no pin: virtual or network.
PinError::VolumeProblem nonLocalProblem(const FolderTraits& traits);

} // namespace skyloom
