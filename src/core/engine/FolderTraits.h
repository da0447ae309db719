#pragma once

#include <string>

namespace skyloom {

// The facts about a folder and its volume on which pinning is allowed or refused.
struct FolderTraits {
    bool isUbiquitous = false;
    bool isLocalVolume = true;
    std::string fileSystem = "apfs"; // lower case

    friend bool operator==(const FolderTraits&, const FolderTraits&) = default;
};

// Reads the traits of the folder at `path`. Never fails: facts that cannot be
// read keep the defaults above (not ubiquitous, local, "apfs").
FolderTraits readFolderTraits(const std::string& path);

} // namespace skyloom
