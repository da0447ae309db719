#pragma once

#include "core/UniqueFd.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace skyloom::app {

// The kernel's word that a watched folder itself changed: its dates or
// other attributes, its name or place, or its existence. Work on the files
// inside a watched folder (reading, writing, listing) is not reported, so it
// never wakes the app. The one place of the shell that makes these OS
// calls; where the system has no such notifications, nothing is watched.
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

    // How folders are watched. fanotify marks on the folders themselves see
    // only the folders; inotify also hears about the entries inside, which
    // are dropped as they are read.
    enum class Backend { none, fanotify, inotify };

    // Prefers fanotify and falls back to inotify where it is unavailable
    // (an older kernel, refused, or a file system it cannot mark). `inotify`
    // keeps to the fallback; so does SKYLOOM_FOLDER_EVENTS=inotify in the
    // environment, for measuring it.
    explicit FolderEvents(Backend preferred = Backend::fanotify);

    // What watches the folders; the fallback may still watch some folders
    // that fanotify could not mark.
    Backend backend() const { return backend_; }

    // Readable when events wait; -1 when folders cannot be watched at all.
    int fileDescriptor() const { return ready_.get(); }

    // Watches the folder at `path` (not following a symbolic link) and
    // returns its watch, the same one for the same folder; -1 when it
    // cannot be watched (gone, not a folder, the system's watch limit).
    int add(const std::string& path);
    void remove(int watch);

    // Every event waiting now, at most one attribute change per folder;
    // never blocks. After events, the descriptor waits a tenth of a second
    // (up to half a second while they keep coming) before it is readable
    // again, so a storm is read in a few batches.
    std::vector<Event> read();

private:
    struct Watched {
        std::string path;      // where it was last added, to remove its mark
        std::string handle;    // fanotify: the folder's file handle
        std::string fsid;      // fanotify: its file system's id
        int inotifyWatch = -1; // inotify: the kernel's watch
    };

    int addInotify(int folder, const std::string& path);
    bool readFanotify(std::vector<Event>& events);
    bool readInotify(std::vector<Event>& events);
    void forget(int watch);

    UniqueFd ready_; // an epoll set of the sources and the batch timer
    UniqueFd fanotify_;
    UniqueFd inotify_;
    UniqueFd batchTimer_;
    bool batching_ = false;
    long batchNanoseconds_ = 100'000'000;
    Backend backend_ = Backend::none;
    int nextWatch_ = 1;
    std::unordered_map<int, Watched> watches_;
    std::unordered_multimap<std::string, int> byHandle_;
    std::unordered_map<int, int> byInotifyWatch_;
};

} // namespace skyloom::app
