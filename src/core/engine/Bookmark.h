#pragma once

#include "core/store/PinnedFolder.h"

#include <optional>
#include <string>

namespace skyloom {

// Locates a folder again after it was renamed: a small versioned blob of the
// folder's device, inode and path. It grants no access of any kind.
class Bookmark {
public:
    struct Resolution {
        std::string path;
        bool isStale = false; // found somewhere other than the stored path
    };

    // A bookmark of the folder at `path`; absent when the folder cannot be read.
    static std::optional<Bytes> make(const std::string& path);

    // The stored path when it still holds the same folder; else the entry with
    // that inode in the old parent folder (a rename), reported stale. Absent
    // when the data cannot be parsed or the folder is not found.
    static std::optional<Resolution> resolve(const Bytes& data);
};

} // namespace skyloom
