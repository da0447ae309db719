#pragma once

#include "core/UniqueFd.h"

#include <string>
#include <vector>

namespace skyloom::app {

// The kernel's word that a watched folder itself changed: its dates or
// other attributes, its name or place, or its existence. The one place of
// the shell that makes these OS calls; where the system has no such
// notifications, nothing is watched.
class FolderEvents {
public:
    struct Event {
        enum class Kind {
            attributesChanged,
            moved,
            deleted,
            watchEnded, // the watch is gone (folder deleted, volume unmounted)
            overflow,   // events were lost: check every folder
        };
        int watch = -1;
        Kind kind = Kind::attributesChanged;
    };

    FolderEvents();

    // Readable when events wait; -1 when folders cannot be watched at all.
    int fileDescriptor() const { return events_.get(); }

    // Watches the folder at `path` (not following a symbolic link) and
    // returns its watch, the same one for the same folder; -1 when it
    // cannot be watched (gone, not a folder, the system's watch limit).
    int add(const std::string& path);
    void remove(int watch);

    // Every event waiting now; never blocks.
    std::vector<Event> read();

private:
    UniqueFd events_;
};

} // namespace skyloom::app
