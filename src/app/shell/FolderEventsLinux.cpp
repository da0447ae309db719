#include "app/shell/FolderEvents.h"

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace skyloom::app {

FolderEvents::FolderEvents() : events_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

int FolderEvents::add(const std::string& path) {
    if (!events_)
        return -1;
    // A change of the access time alone is reported as an access, like a
    // listing of the folder; both are checked. Events about entries inside
    // the folder arrive too (inotify has no way to leave them out) and are
    // dropped as soon as they are read.
    constexpr std::uint32_t mask =
        IN_ACCESS | IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;
    return ::inotify_add_watch(events_.get(), path.c_str(), mask);
}

void FolderEvents::remove(int watch) {
    if (events_ && watch >= 0)
        ::inotify_rm_watch(events_.get(), watch);
}

std::vector<FolderEvents::Event> FolderEvents::read() {
    std::vector<Event> events;
    if (!events_)
        return events;
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        ssize_t got = ::read(events_.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
            inotify_event header;
            std::memcpy(&header, buffer + offset, sizeof header);
            offset += static_cast<ssize_t>(sizeof header + header.len);
            using Kind = Event::Kind;
            if (header.mask & IN_Q_OVERFLOW) {
                events.push_back({-1, Kind::overflow});
                continue;
            }
            // A named event is about an entry inside the folder, not the folder.
            if (header.len != 0)
                continue;
            if (header.mask & (IN_ATTRIB | IN_ACCESS))
                events.push_back({header.wd, Kind::attributesChanged});
            if (header.mask & IN_MOVE_SELF)
                events.push_back({header.wd, Kind::moved});
            if (header.mask & IN_DELETE_SELF)
                events.push_back({header.wd, Kind::deleted});
            if (header.mask & (IN_IGNORED | IN_UNMOUNT))
                events.push_back({header.wd, Kind::watchEnded});
        }
    }
    return events;
}

} // namespace skyloom::app
