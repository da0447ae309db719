#pragma once

#include "core/platform/FolderIdentity.h"
#include "core/record/PinnedFolder.h"

#include <cstdint>
#include <optional>
#include <string>

namespace skyloom {

// Locates a folder again after it was renamed: a small versioned blob of the
// folder's device, inode, birth time (where the file system keeps one) and
// path. It grants no access of any kind.
class Bookmark {
public:
    using Identity = platform::FolderIdentity;

    struct Resolution {
        std::string path;
        bool isStale = false; // found somewhere other than the stored path
        // The folder's date-added, where the read that found it gave it.
        std::optional<Date> addedDate;
    };

    // A bookmark of the folder at `path`; absent when the folder cannot be read.
    static std::optional<Bytes> make(const std::string& path);
    // The blob for a folder of that identity at `path`.
    static Bytes encode(const Identity& identity, const std::string& path);

    // The stored path when it still holds the same folder (one metadata
    // read); else the entry with that identity in the old parent folder (a
    // rename), reported stale. Absent when the data cannot be parsed or the
    // folder is not found. Blobs of the first version carry no birth time and
    // are matched by inode alone.
    static std::optional<Resolution> resolve(const Bytes& data);

    // The identity the blob keeps; absent when it cannot be parsed.
    static std::optional<FolderKey> key(const Bytes& data);
};

} // namespace skyloom
