#include "app/shell/FolderEvents.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/fanotify.h>
#include <sys/inotify.h>
#include <sys/statfs.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <unordered_set>

namespace skyloom::app {
namespace {

// Only what happens to the folder itself: its dates (a change of the access
// time alone is reported as an access, the same event a listing of the
// folder gives), its other attributes, its move, its deletion. Without
// FAN_EVENT_ON_CHILD, work on the entries inside is never reported, so a
// build or a search inside a pinned folder costs the app nothing.
constexpr std::uint64_t fanotifyMask =
    FAN_ACCESS | FAN_ATTRIB | FAN_MOVE_SELF | FAN_DELETE_SELF | FAN_ONDIR;
// inotify reports the entries' reads too (with their names); they are
// dropped as they are read, and a storm of them is read in batches.
constexpr std::uint32_t inotifyMask =
    IN_ACCESS | IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR;

// After a batch, the kernel's queues are left to fill a while before the
// next: a tenth of a second, doubled while a storm goes on, up to half a
// second. A storm costs a few reads a second, and a change of a folder is
// still seen within a second.
constexpr long firstBatchNanoseconds = 100'000'000;
constexpr long longestBatchNanoseconds = 500'000'000;

bool setWatched(int set, int fd, bool watched) {
    epoll_event event{};
    event.events = watched ? std::uint32_t{EPOLLIN} : 0u;
    event.data.fd = fd;
    return ::epoll_ctl(set, EPOLL_CTL_MOD, fd, &event) == 0;
}

bool addToSet(int set, int fd) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    return ::epoll_ctl(set, EPOLL_CTL_ADD, fd, &event) == 0;
}

struct Identity {
    std::string handle;
    std::string fsid;
};

// The folder as fanotify names it in its events: its file system's id and
// its file handle.
bool identify(int folder, Identity& identity) {
    struct statfs fs {};
    if (::fstatfs(folder, &fs) != 0)
        return false;
    identity.fsid.assign(reinterpret_cast<const char*>(&fs.f_fsid), sizeof fs.f_fsid);
    alignas(file_handle) char buffer[sizeof(file_handle) + MAX_HANDLE_SZ];
    auto* handle = reinterpret_cast<file_handle*>(buffer);
    handle->handle_bytes = MAX_HANDLE_SZ;
    int mountId = 0;
    if (::name_to_handle_at(folder, "", handle, &mountId, AT_EMPTY_PATH) != 0)
        return false;
    identity.handle.assign(reinterpret_cast<const char*>(&handle->handle_type),
                           sizeof handle->handle_type);
    identity.handle.append(reinterpret_cast<const char*>(handle->f_handle), handle->handle_bytes);
    return true;
}

} // namespace

FolderEvents::FolderEvents(Backend preferred)
    : ready_(::epoll_create1(EPOLL_CLOEXEC)),
      batchTimer_(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {
    if (!ready_ || !batchTimer_ || !addToSet(ready_.get(), batchTimer_.get())) {
        ready_.reset();
        return;
    }
    const char* forced = std::getenv("SKYLOOM_FOLDER_EVENTS");
    if (forced && std::string_view(forced) == "inotify")
        preferred = Backend::inotify;
    if (preferred == Backend::fanotify) {
        // Unprivileged since Linux 5.13, with file handles rather than descriptors.
        fanotify_.reset(
            ::fanotify_init(FAN_CLASS_NOTIF | FAN_REPORT_FID | FAN_CLOEXEC | FAN_NONBLOCK,
                            O_RDONLY | O_CLOEXEC | O_LARGEFILE));
        if (fanotify_ && addToSet(ready_.get(), fanotify_.get()))
            backend_ = Backend::fanotify;
        else
            fanotify_.reset();
    }
    if (backend_ == Backend::none) {
        inotify_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        if (inotify_ && addToSet(ready_.get(), inotify_.get()))
            backend_ = Backend::inotify;
        else
            inotify_.reset();
    }
    if (backend_ == Backend::none)
        ready_.reset();
}

int FolderEvents::add(const std::string& path) {
    if (!ready_ || path.empty())
        return -1;
    // One descriptor for the folder: what is marked is what was opened.
    UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder)
        return -1;
    Identity identity;
    if (fanotify_ && identify(folder.get(), identity)) {
        auto [first, last] = byHandle_.equal_range(identity.handle);
        for (auto it = first; it != last; ++it) {
            Watched& known = watches_[it->second];
            if (known.fsid == identity.fsid) {
                known.path = path;
                return it->second;
            }
        }
        if (::fanotify_mark(fanotify_.get(), FAN_MARK_ADD, fanotifyMask, folder.get(), nullptr) ==
            0) {
            const int watch = nextWatch_++;
            watches_[watch] = {path, identity.handle, identity.fsid, -1};
            byHandle_.emplace(identity.handle, watch);
            return watch;
        }
        // Past the mark limit, or a file system fanotify cannot mark: inotify
        // has limits of its own and marks any folder.
        if (errno == EACCES || errno == ENOENT)
            return -1;
    }
    return addInotify(folder.get(), path);
}

int FolderEvents::addInotify(int folder, const std::string& path) {
    if (!inotify_) {
        inotify_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        if (!inotify_ || !addToSet(ready_.get(), inotify_.get())) {
            inotify_.reset();
            return -1;
        }
    }
    // Through the open descriptor where /proc is there; the path otherwise.
    const std::string byDescriptor = "/proc/self/fd/" + std::to_string(folder);
    int kernelWatch = ::inotify_add_watch(inotify_.get(), byDescriptor.c_str(), inotifyMask);
    if (kernelWatch < 0 && errno == ENOENT)
        kernelWatch =
            ::inotify_add_watch(inotify_.get(), path.c_str(), inotifyMask | IN_DONT_FOLLOW);
    if (kernelWatch < 0)
        return -1;
    if (auto known = byInotifyWatch_.find(kernelWatch); known != byInotifyWatch_.end()) {
        watches_[known->second].path = path;
        return known->second;
    }
    const int watch = nextWatch_++;
    watches_[watch] = {path, {}, {}, kernelWatch};
    byInotifyWatch_[kernelWatch] = watch;
    return watch;
}

void FolderEvents::remove(int watch) {
    auto it = watches_.find(watch);
    if (it == watches_.end())
        return;
    const Watched& watched = it->second;
    if (watched.inotifyWatch >= 0) {
        ::inotify_rm_watch(inotify_.get(), watched.inotifyWatch);
    } else if (fanotify_) {
        // A mark is removed through the folder; if it is no longer where it
        // was last seen, the mark stays until the folder goes, and its rare
        // events are dropped as unknown.
        UniqueFd folder(
            ::open(watched.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        Identity identity;
        if (folder && identify(folder.get(), identity) && identity.handle == watched.handle &&
            identity.fsid == watched.fsid)
            ::fanotify_mark(fanotify_.get(), FAN_MARK_REMOVE, fanotifyMask, folder.get(), nullptr);
    }
    forget(watch);
}

void FolderEvents::forget(int watch) {
    auto it = watches_.find(watch);
    if (it == watches_.end())
        return;
    if (it->second.inotifyWatch >= 0) {
        byInotifyWatch_.erase(it->second.inotifyWatch);
    } else {
        auto [first, last] = byHandle_.equal_range(it->second.handle);
        for (auto entry = first; entry != last; ++entry)
            if (entry->second == watch) {
                byHandle_.erase(entry);
                break;
            }
    }
    watches_.erase(it);
}

std::vector<FolderEvents::Event> FolderEvents::read() {
    std::vector<Event> events;
    if (!ready_)
        return events;
    std::uint64_t expirations = 0;
    const bool timerFired =
        batching_ && ::read(batchTimer_.get(), &expirations, sizeof expirations) > 0;
    if (timerFired) {
        batching_ = false;
        for (const UniqueFd* source : {&fanotify_, &inotify_})
            if (*source)
                setWatched(ready_.get(), source->get(), true);
    }
    bool heard = false;
    if (fanotify_)
        heard = readFanotify(events) || heard;
    if (inotify_)
        heard = readInotify(events) || heard;
    if (!heard && timerFired)
        batchNanoseconds_ = firstBatchNanoseconds; // the storm is over
    if (heard && !batching_) {
        // The sources are read again when the timer fires, or whenever
        // this is called before; the descriptor stays quiet meanwhile.
        itimerspec once{};
        once.it_value.tv_nsec = batchNanoseconds_;
        if (timerFired)
            batchNanoseconds_ = std::min(2 * batchNanoseconds_, longestBatchNanoseconds);
        if (::timerfd_settime(batchTimer_.get(), 0, &once, nullptr) == 0) {
            batching_ = true;
            for (const UniqueFd* source : {&fanotify_, &inotify_})
                if (*source)
                    setWatched(ready_.get(), source->get(), false);
        }
    }
    // A storm of changes is one check per folder.
    std::unordered_set<int> changed;
    std::erase_if(events, [&changed](const Event& event) {
        return event.kind == Event::Kind::attributesChanged && !changed.insert(event.watch).second;
    });
    return events;
}

bool FolderEvents::readFanotify(std::vector<Event>& events) {
    bool heard = false;
    using Kind = Event::Kind;
    alignas(fanotify_event_metadata) char buffer[64 * 1024];
    for (;;) {
        ssize_t got = ::read(fanotify_.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        heard = true;
        // Events with file handles are aligned to 4 bytes only: each header
        // is copied out rather than read in place.
        for (ssize_t offset = 0;
             offset + static_cast<ssize_t>(sizeof(fanotify_event_metadata)) <= got;) {
            fanotify_event_metadata header;
            std::memcpy(&header, buffer + offset, sizeof header);
            const fanotify_event_metadata* metadata = &header;
            if (header.event_len < sizeof header || offset + header.event_len > got)
                break;
            const char* start = buffer + offset;
            offset += header.event_len;
            if (metadata->vers != FANOTIFY_METADATA_VERSION)
                return heard;
            if (metadata->mask & FAN_Q_OVERFLOW) {
                events.push_back({-1, Kind::overflow});
                continue;
            }
            // The folder is named by its file handle in the first record.
            const char* record = start + metadata->metadata_len;
            const char* end = start + metadata->event_len;
            if (record + sizeof(fanotify_event_info_fid) + sizeof(file_handle) > end)
                continue;
            fanotify_event_info_fid info;
            std::memcpy(&info, record, sizeof info);
            if (info.hdr.info_type != FAN_EVENT_INFO_TYPE_FID || record + info.hdr.len > end)
                continue;
            file_handle handle;
            const char* handleStart = record + sizeof info;
            std::memcpy(&handle, handleStart, sizeof handle);
            if (handleStart + sizeof handle + handle.handle_bytes > end)
                continue;
            std::string key(reinterpret_cast<const char*>(&handle.handle_type),
                            sizeof handle.handle_type);
            key.append(handleStart + sizeof handle, handle.handle_bytes);
            const std::string fsid(reinterpret_cast<const char*>(&info.fsid), sizeof info.fsid);

            // The same handle on another file system is another folder;
            // when the ids disagree with what fstatfs said, every folder
            // with this handle is checked.
            std::vector<int> watches;
            auto [first, last] = byHandle_.equal_range(key);
            for (auto it = first; it != last; ++it)
                if (watches_.at(it->second).fsid == fsid)
                    watches.push_back(it->second);
            if (watches.empty())
                for (auto it = first; it != last; ++it)
                    watches.push_back(it->second);
            for (int watch : watches) {
                if (metadata->mask & (FAN_ATTRIB | FAN_ACCESS))
                    events.push_back({watch, Kind::attributesChanged});
                if (metadata->mask & FAN_MOVE_SELF)
                    events.push_back({watch, Kind::moved});
                if (metadata->mask & FAN_DELETE_SELF) {
                    // The kernel drops the mark with the folder.
                    events.push_back({watch, Kind::deleted});
                    events.push_back({watch, Kind::watchEnded});
                    forget(watch);
                }
            }
        }
    }
    return heard;
}

bool FolderEvents::readInotify(std::vector<Event>& events) {
    bool heard = false;
    using Kind = Event::Kind;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        ssize_t got = ::read(inotify_.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        heard = true;
        for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
            inotify_event header;
            std::memcpy(&header, buffer + offset, sizeof header);
            offset += static_cast<ssize_t>(sizeof header + header.len);
            if (header.mask & IN_Q_OVERFLOW) {
                events.push_back({-1, Kind::overflow});
                continue;
            }
            // A named event is about an entry inside the folder, not the folder.
            if (header.len != 0)
                continue;
            auto known = byInotifyWatch_.find(header.wd);
            if (known == byInotifyWatch_.end())
                continue;
            const int watch = known->second;
            if (header.mask & (IN_ATTRIB | IN_ACCESS))
                events.push_back({watch, Kind::attributesChanged});
            if (header.mask & IN_MOVE_SELF)
                events.push_back({watch, Kind::moved});
            if (header.mask & IN_DELETE_SELF)
                events.push_back({watch, Kind::deleted});
            if (header.mask & (IN_IGNORED | IN_UNMOUNT)) {
                events.push_back({watch, Kind::watchEnded});
                forget(watch);
            }
        }
    }
    return heard;
}

} // namespace skyloom::app
